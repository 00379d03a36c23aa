/* Set-up and timing calls of the GPIO layer. Pins are numbered as on the
 * 40-pin Raspberry Pi header in the classic wiringPi scheme (pin 3 is
 * Broadcom GPIO 22, header pin 15). */
#ifndef WIRINGPI_H
#define WIRINGPI_H

#ifdef __cplusplus
extern "C" {
#endif

/* Chooses and opens the pin backend (GPIO_BACKEND, GPIO_CHIP, GPIO_TRACE).
 * Returns 0. If set-up cannot succeed it says why on standard error and ends
 * the process with status 1. Calling it again is harmless. */
int wiringPiSetup(void);

/* Sleeps at least ms milliseconds, also when a signal interrupts the sleep. */
void delay(unsigned int ms);

#ifdef __cplusplus
}
#endif

#endif
