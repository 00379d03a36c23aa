// Plays the C-major scale on one GPIO pin, forever, printing each note's
// position as it begins.
#include <cstdio>

#include <softTone.h>
#include <wiringPi.h>

constexpr int TONE_PIN = 3;
constexpr int NOTE_MS = 500;

// Index 7 is 525 Hz by design, not the tempered 523.
int scale[8] = {262, 294, 330, 349, 392, 440, 494, 525};

int main() {
    wiringPiSetup();
    softToneCreate(TONE_PIN);
    for (;;) {
        for (int i = 0; i < 8; ++i) {
            printf("%3d\n", i);
            softToneWrite(TONE_PIN, scale[i]);
            delay(NOTE_MS);
        }
    }
}
