// The file dialog of the Windows build: the common Open and Save As dialogs, and the shell's
// folder browser for folders.
#include <windows.h>
// After <windows.h>: the dialog and shell declarations need its types.
#include <commdlg.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "gui/CFileSelector.h"
#include "platform/WinText.h"

namespace qgui {

namespace {

// Long enough for many selected files at once.
constexpr size_t kFileBufferChars = 32768;

std::wstring windowsPath(const std::string& path) {
    std::wstring w = platform::widen(path);
    std::replace(w.begin(), w.end(), L'/', L'\\');
    return w;
}

// The top-level window of the focused one (the editor's host window), or none.
HWND ownerWindow() {
    HWND focus = GetFocus();
    return focus ? GetAncestor(focus, GA_ROOT) : GetActiveWindow();
}

bool browseForFolder(const FileSelectorRequest& request, std::vector<std::string>& selected) {
    const std::wstring title = platform::widen(request.title);
    BROWSEINFOW info{};
    info.hwndOwner = ownerWindow();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen) return false;
    std::vector<wchar_t> path(MAX_PATH + 1, L'\0');
    const bool ok = SHGetPathFromIDListW(chosen, path.data());
    CoTaskMemFree(chosen);
    if (ok) selected.push_back(platform::narrow(path.data()));
    return ok;
}

}  // namespace

std::wstring CommonDialogFileSelectorBackend::filter(const FileSelectorRequest& r) {
    std::wstring list;
    for (const CFileExtension& e : r.extensions) {
        const std::wstring ext = platform::widen(std::string(e.getExtension()));
        const std::wstring description =
            *e.getDescription() ? platform::widen(std::string(e.getDescription())) : ext;
        list += description + L" (*." + ext + L")" + L'\0' + L"*." + ext + L'\0';
    }
    list += std::wstring(L"All files") + L'\0' + L"*.*" + L'\0';
    return list + L'\0';
}

bool CommonDialogFileSelectorBackend::run(const FileSelectorRequest& request,
                                          std::vector<std::string>& selected) {
    if (request.style == FileSelectorRequest::kSelectDirectory)
        return browseForFolder(request, selected);
    const bool save = request.style == FileSelectorRequest::kSelectSaveFile;
    const bool multiple = request.allowMultiple && !save;
    std::vector<wchar_t> file(kFileBufferChars, L'\0');
    if (save) {
        const std::wstring name = windowsPath(request.defaultSaveName);
        std::copy_n(name.begin(), std::min(name.size(), file.size() - 1), file.begin());
    }
    const std::wstring title = platform::widen(request.title);
    const std::wstring folder = windowsPath(request.initialDirectory);
    const std::wstring filters = filter(request);
    const std::wstring defaultExtension =
        request.extensions.empty()
            ? std::wstring()
            : platform::widen(std::string(request.extensions.front().getExtension()));

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = ownerWindow();
    dialog.lpstrFilter = filters.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (save)
        dialog.Flags |= OFN_OVERWRITEPROMPT;
    else
        dialog.Flags |= OFN_FILEMUSTEXIST | (multiple ? OFN_ALLOWMULTISELECT : 0);
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return false;

    // One file: its full path. Several: the folder, then each name, null-separated.
    std::vector<std::wstring> parts;
    for (const wchar_t* p = file.data(); *p; p += wcslen(p) + 1) parts.emplace_back(p);
    if (parts.size() == 1) {
        selected.push_back(platform::narrow(parts.front()));
    } else {
        for (size_t i = 1; i < parts.size(); ++i)
            selected.push_back(platform::narrow(parts.front() + L"\\" + parts[i]));
    }
    return !selected.empty();
}

FileSelectorBackend& systemFileSelectorBackend() {
    static CommonDialogFileSelectorBackend dialogs;
    return dialogs;
}

}  // namespace qgui
