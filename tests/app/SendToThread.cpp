// send_to_thread <process id> <thread id> <signal number>: sends the signal
// to that one thread (tgkill), as a fault of that thread would raise it; the
// shell's kill reaches only the process as a whole. Exit 1 when it failed.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cerrno>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: send_to_thread <process id> <thread id> <signal number>\n", stderr);
        return 2;
    }
    const int pid = std::atoi(argv[1]);
    const int tid = std::atoi(argv[2]);
    const int signal = std::atoi(argv[3]);
    if (tgkill(pid, tid, signal) != 0) {
        std::fprintf(stderr, "send_to_thread: %s\n", std::strerror(errno));
        return 1;
    }
    return 0;
}
