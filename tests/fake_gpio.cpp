// A stand-in for the GPIO layer whose set-up and tone creation fail. It logs
// each call on standard output, in order with the program's own lines, and
// ends the process after 20 notes.
#include <cstdio>
#include <cstdlib>
#include <softTone.h>
#include <wiringPi.h>

extern "C" int wiringPiSetup(void) {
    printf("setup\n");
    return -1;
}

extern "C" int softToneCreate(int pin) {
    printf("create %d\n", pin);
    return -1;
}

extern "C" void softToneWrite(int pin, int freq) { printf("write %d %d\n", pin, freq); }

extern "C" void delay(unsigned int ms) {
    static int calls = 0;
    printf("delay %u\n", ms);
    if (++calls == 20) exit(0);
}
