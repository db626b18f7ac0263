#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace process {

// Output of a shell command, without its trailing newline.
inline std::string shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return out;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    pclose(pipe);
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    return out;
}

// The game's executable, started with extra environment settings and its standard
// error kept in a file; killed if a test leaves it running.
class Child {
  public:
    Child(const std::string& path, const std::vector<std::string>& env,
          const std::vector<std::string>& args = {}) {
        char name[] = "/tmp/brelvo-stderr-XXXXXX";
        const int fd = mkstemp(name);
        errfile = name;
        pid = fork();
        if (pid == 0) {
            dup2(fd, STDERR_FILENO);
            for (const std::string& setting : env) {
                putenv(const_cast<char*>(setting.c_str()));
            }
            std::vector<char*> argv{const_cast<char*>(path.c_str())};
            for (const std::string& arg : args) {
                argv.push_back(const_cast<char*>(arg.c_str()));
            }
            argv.push_back(nullptr);
            execv(path.c_str(), argv.data());
            _exit(127);
        }
        close(fd);
    }
    ~Child() {
        if (pid > 0 && !reaped) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        unlink(errfile.c_str());
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The raw wait status, or -1 if the program is still running after `seconds`.
    int wait(double seconds) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                reaped = true;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    bool running() {
        int status = 0;
        if (!reaped && waitpid(pid, &status, WNOHANG) == pid) {
            reaped = true;
        }
        return !reaped;
    }

    std::string error_output() const {
        std::ifstream in(errfile);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    pid_t pid = -1;
    bool reaped = false;
    std::string errfile;
};

}  // namespace process
