// Calls the tone while the process exits: from an atexit handler registered
// before set-up (as a program silencing its buzzer would), or from a thread
// still writing when main returns.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <softTone.h>
#include <string>
#include <thread>
#include <wiringPi.h>

namespace {

// Whether the trace holds a high level: the tone has played, however late a
// busy machine first ran its thread.
bool played(const char* trace) {
    std::ifstream in(trace);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    return text.find("\n1") != std::string::npos;
}

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
    const char* trace = std::getenv("GPIO_TRACE");
    for (int waited = 0; trace != nullptr && waited < 500 && !played(trace); ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return 0;
}
