#include "gui/CFileSelector.h"

namespace qgui {

namespace {

FileSelectorBackend* currentBackend = nullptr;

}  // namespace

CNewFileSelector::CNewFileSelector(Style style) {
    request.style = static_cast<FileSelectorRequest::Style>(style);
}

CNewFileSelector* CNewFileSelector::create(CFrame*, Style style) {
    return new CNewFileSelector(style);
}

void CNewFileSelector::setDefaultExtension(const CFileExtension& extension) {
    // The default filter is the first one offered.
    for (auto it = request.extensions.begin(); it != request.extensions.end(); ++it)
        if (*it == extension) {
            request.extensions.erase(it);
            break;
        }
    request.extensions.insert(request.extensions.begin(), extension);
}

void CNewFileSelector::addFileExtension(const CFileExtension& extension) {
    for (const CFileExtension& e : request.extensions)
        if (e == extension) return;
    request.extensions.push_back(extension);
}

bool CNewFileSelector::runModal() {
    selected.clear();
    FileSelectorBackend* backend = currentBackend ? currentBackend : &systemFileSelectorBackend();
    if (!backend->run(request, selected)) {
        selected.clear();
        return false;
    }
    return !selected.empty();
}

const char* CNewFileSelector::getSelectedFile(int32_t index) const {
    if (index < 0 || index >= getNumSelectedFiles()) return nullptr;
    return selected[static_cast<size_t>(index)].c_str();
}

void CNewFileSelector::setBackend(FileSelectorBackend* backend) {
    currentBackend = backend;
}

}  // namespace qgui
