// File dialogs: CNewFileSelector asks the user for a file to open or a file name to save under,
// with a title, an initial folder, a default name and file-type filters, and runs modally.
// The dialog itself comes from a replaceable backend; the default one is the system's: `zenity`
// on Linux when it is installed (selecting nothing otherwise, CFileSelector_zenity.cpp), the
// common Open and Save As dialogs on Windows (CFileSelector_win.cpp). User-interface thread;
// runModal blocks it until the dialog is closed.
#pragma once

#include <string>
#include <vector>

#include "gui/GuiTypes.h"

namespace qgui {

class CFrame;

class CFileExtension {
  public:
    CFileExtension(const char* description, const char* extension, const char* mimeType = nullptr,
                   int32_t macType = 0)
        : description(description ? description : ""),
          extension(extension ? extension : ""),
          mimeType(mimeType ? mimeType : "") {}

    const char* getDescription() const { return description.c_str(); }
    const char* getExtension() const { return extension.c_str(); }
    const char* getMimeType() const { return mimeType.c_str(); }
    bool operator==(const CFileExtension& o) const { return extension == o.extension; }

  private:
    std::string description;
    std::string extension;
    std::string mimeType;
};

// What a backend is asked to show.
struct FileSelectorRequest {
    enum Style { kSelectFile, kSelectSaveFile, kSelectDirectory };
    Style style = kSelectFile;
    std::string title;
    std::string initialDirectory;
    std::string defaultSaveName;
    std::vector<CFileExtension> extensions;
    bool allowMultiple = false;
};

class FileSelectorBackend {
  public:
    virtual ~FileSelectorBackend() = default;
    // Shows the dialog; fills `selected` and returns true when the user chose something.
    virtual bool run(const FileSelectorRequest& request, std::vector<std::string>& selected) = 0;
};

// Runs `zenity --file-selection`; false when zenity is not installed or the user cancelled.
// Linux only.
class ZenityFileSelectorBackend : public FileSelectorBackend {
  public:
    bool run(const FileSelectorRequest& request, std::vector<std::string>& selected) override;
    // The zenity arguments for `request` (without the program name).
    static std::vector<std::string> arguments(const FileSelectorRequest& request);
};

// Shows GetOpenFileNameW or GetSaveFileNameW, owned by the window that has the keyboard focus
// (the editor's); false when the user cancelled. Windows only.
class CommonDialogFileSelectorBackend : public FileSelectorBackend {
  public:
    bool run(const FileSelectorRequest& request, std::vector<std::string>& selected) override;
    // The dialog's filter list: "description (*.ext)", "*.ext" pairs and "All files", each
    // ended by a null character, the list by another.
    static std::wstring filter(const FileSelectorRequest& request);
};

// The system's dialog of this build (one of the two above).
FileSelectorBackend& systemFileSelectorBackend();

class CNewFileSelector : public CBaseObject {
  public:
    enum Style {
        kSelectFile = FileSelectorRequest::kSelectFile,
        kSelectSaveFile = FileSelectorRequest::kSelectSaveFile,
        kSelectDirectory = FileSelectorRequest::kSelectDirectory,
    };

    // A new selector (one reference, release with forget()).
    static CNewFileSelector* create(CFrame* parent = nullptr, Style style = kSelectFile);

    void setTitle(const char* title) { request.title = title ? title : ""; }
    void setInitialDirectory(const char* path) { request.initialDirectory = path ? path : ""; }
    void setDefaultSaveName(const char* name) { request.defaultSaveName = name ? name : ""; }
    void setDefaultExtension(const CFileExtension& extension);
    void addFileExtension(const CFileExtension& extension);
    void setAllowMultiFileSelection(bool state) { request.allowMultiple = state; }

    // Shows the dialog and waits for it; true when the user chose a file.
    bool runModal();
    int32_t getNumSelectedFiles() const { return static_cast<int32_t>(selected.size()); }
    const char* getSelectedFile(int32_t index) const;
    const FileSelectorRequest& getRequest() const { return request; }

    // Replaces the backend of every selector (not owned; null restores the system's).
    static void setBackend(FileSelectorBackend* backend);

  private:
    explicit CNewFileSelector(Style style);

    FileSelectorRequest request;
    std::vector<std::string> selected;
};

}  // namespace qgui
