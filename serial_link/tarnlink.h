/* Tarnlink: the serial link library's C interface.
 *
 * One port object per process; every function works on it. The df functions
 * return 0 for success and 1 for failure, the others a boolean. Nothing here
 * ever shows a message. Not thread-safe: call from one thread only. */
#ifndef TARNLINK_H
#define TARNLINK_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#define TARNLINK_API __declspec(dllexport)
#else
#define TARNLINK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

TARNLINK_API int dfGetDllVersion(void);
TARNLINK_API int dfComSetReady(int baud_rate, int port_number);
TARNLINK_API int dfComSetClose(void);
TARNLINK_API int dfComSetBaudRate(int baud_rate);
TARNLINK_API int dfComSetTimeout1(int interval_100ms);
TARNLINK_API int dfComSetTimeout2(int total_seconds);
TARNLINK_API bool _PortInitial(const char *port_name, int baud_rate, int interval_100ms,
                               int total_seconds);
TARNLINK_API bool _PortClose(void);
TARNLINK_API bool _SetBaudRate(int baud_rate);
TARNLINK_API bool _SetTimeouts(int interval_100ms, int total_seconds);
TARNLINK_API int dfComMakeData(uint8_t n, uint8_t address, uint8_t low_nibble,
                               uint8_t high_nibble, const uint8_t *params, uint8_t *block_out,
                               int *length_out);
/* response must hold the largest response block, 259 bytes. */
TARNLINK_API bool _CommLoop(const uint8_t *block, int block_length, uint8_t *response,
                            int retry_limit);
TARNLINK_API int dfComCommunication(void *owner_window, const uint8_t *n,
                                    const uint8_t *address, const uint8_t *low_nibble,
                                    const uint8_t *high_nibble, const uint8_t *params,
                                    uint8_t *response, int retry_limit, int *reserved);

#ifdef __cplusplus
}
#endif

#endif
