// Uses the layer as a service does: "fork" starts a child that touches the
// tone and exits, then plays on; "signalfd" blocks SIGTERM after set-up and
// reads it from a signalfd. Status 0 when all went as it should.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <softTone.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wiringPi.h>

namespace {

pid_t parent = 0;

}  // namespace

// A forked child's leak check cannot see its parent's threads' stacks, which
// hold some of the layer's buffers: what it would report is not a leak.
extern "C" int __lsan_is_turned_off() { return parent != 0 && getpid() != parent; }

namespace {

int childExits() {
    parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        softToneWrite(3, 262);
        softToneWrite(3, 294);
        std::exit(0);
    }
    // A hang is what this tells apart; emulated and sanitized builds exit in well under a second.
    for (int waited = 0; waited < 500; ++waited) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            delay(200);  // the parent's tone plays on
            return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 4;
        }
        delay(10);
    }
    std::fprintf(stderr, "the child had not exited after 5 s\n");
    kill(child, SIGKILL);
    return 3;
}

int signalReachesTheProgram() {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    const int fd = signalfd(-1, &term, SFD_CLOEXEC);
    kill(getpid(), SIGTERM);
    pollfd readable{fd, POLLIN, 0};
    signalfd_siginfo info{};
    if (poll(&readable, 1, 5000) != 1 || read(fd, &info, sizeof info) != sizeof info) return 3;
    return info.ssi_signo == SIGTERM ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    if (wiringPiSetup() != 0 || softToneCreate(3) != 0) return 2;
    softToneWrite(3, 440);
    delay(50);
    if (std::strcmp(argv[1], "fork") == 0) return childExits();
    if (std::strcmp(argv[1], "signalfd") == 0) return signalReachesTheProgram();
    return 2;
}
