// Calls the tone while the process exits: from an atexit handler registered
// before set-up (as a program silencing its buzzer would), or from a thread
// still writing when main returns.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <softTone.h>
#include <thread>
#include <wiringPi.h>

namespace {

void silenceAtExit() {
    softToneWrite(3, 0);
    softToneWrite(3, 440);
    softToneCreate(4);
}

}  // namespace

int main(int argc, char** argv) {
    const bool fromThread = argc > 1 && std::strcmp(argv[1], "thread") == 0;
    if (!fromThread) std::atexit(silenceAtExit);
    wiringPiSetup();
    softToneCreate(3);
    softToneWrite(3, 1000);
    if (fromThread) {
        std::thread([] {
            for (int hz = 0;; hz = (hz + 1) % 2000) softToneWrite(3, hz);
        }).detach();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}
