#include "platform/shell.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace shell {

bool start_program(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (::posix_spawnp(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    // Nobody waits for the viewer: reap it in the background so it never lingers as a zombie.
    std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
    return true;
}

bool open_document(const std::filesystem::path& document) {
    return start_program("xdg-open", {document.string()});
}

}  // namespace shell
