/* Square-wave tones on output pins, each produced by its own thread. */
#ifndef SOFTTONE_H
#define SOFTTONE_H

#ifdef __cplusplus
extern "C" {
#endif

/* Highest frequency a tone plays; higher requests are clamped to it. */
#define SOFT_TONE_MAX_FREQ 5000

/* Makes pin an output, drives it low and starts its tone generator, silent.
 * Returns 0, or -1 after one line on standard error (bad pin, set-up not
 * done, no thread). Calling it again for the same pin is harmless. */
int softToneCreate(int pin);

/* From now on the pin sounds freq Hz, a 50% square wave. 0 or below is
 * silence with the pin held low. Ignored for a pin without a generator. */
void softToneWrite(int pin, int freq);

#ifdef __cplusplus
}
#endif

#endif
