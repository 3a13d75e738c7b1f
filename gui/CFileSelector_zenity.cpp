// The file dialog of the Linux build: `zenity --file-selection`, run without a shell.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "gui/CFileSelector.h"

extern char** environ;

namespace qgui {

namespace {

bool zenityInstalled() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string candidate = dirs.substr(start, end - start) + "/zenity";
        if (end > start && access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

std::vector<std::string> ZenityFileSelectorBackend::arguments(const FileSelectorRequest& r) {
    std::vector<std::string> args{"--file-selection"};
    if (!r.title.empty()) args.push_back("--title=" + r.title);
    if (r.style == FileSelectorRequest::kSelectSaveFile) {
        args.push_back("--save");
        args.push_back("--confirm-overwrite");
    }
    if (r.style == FileSelectorRequest::kSelectDirectory) args.push_back("--directory");
    if (r.allowMultiple && r.style == FileSelectorRequest::kSelectFile) {
        args.push_back("--multiple");
        args.push_back("--separator=\n");
    }
    std::string start = r.initialDirectory;
    if (!start.empty() && start.back() != '/') start += '/';
    if (r.style == FileSelectorRequest::kSelectSaveFile) start += r.defaultSaveName;
    if (!start.empty()) args.push_back("--filename=" + start);
    for (const CFileExtension& e : r.extensions) {
        std::string ext = e.getExtension();
        const std::string description = *e.getDescription() ? e.getDescription() : ext;
        args.push_back("--file-filter=" + description + " | *." + ext);
    }
    if (!r.extensions.empty()) args.push_back("--file-filter=All files | *");
    return args;
}

bool ZenityFileSelectorBackend::run(const FileSelectorRequest& request,
                                    std::vector<std::string>& selected) {
    if (!zenityInstalled()) return false;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return false;

    std::vector<std::string> args = arguments(request);
    std::vector<char*> argv;
    std::string program = "zenity";
    argv.push_back(program.data());
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    // No shell: the title and the paths are passed as they are.
    const int spawned = posix_spawnp(&pid, "zenity", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        return false;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    close(out[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) selected.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return !selected.empty();
}

FileSelectorBackend& systemFileSelectorBackend() {
    static ZenityFileSelectorBackend zenity;
    return zenity;
}

}  // namespace qgui
