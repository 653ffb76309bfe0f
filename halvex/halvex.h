/* Halvex stand-in: the USB driver library's C interface.
 *
 * Every function returns HLVX_OK (0) for success and one of the non-zero
 * codes below for failure. A failing call writes nothing through its output
 * pointers, except _HLVX_GetInfo, which reports the length it needs.
 * Handles may be used from several threads; calls on one handle take turns.
 *
 * The command is the N + 3 command bytes (N = command[0], 0..255): length
 * byte, two header bytes, N data bytes, no checksum. The response is the
 * whole response block as the amplifier sent it: length byte M, two header
 * bytes, M data bytes, checksum (M + 4 bytes, at most 259). The checksum is
 * passed on unchecked; judging it is the caller's business. */
#ifndef HALVEX_H
#define HALVEX_H

#include <stdint.h>

#if defined(_WIN32)
#define HALVEX_API __declspec(dllexport)
#else
#define HALVEX_API __attribute__((visibility("default")))
#endif

#define HLVX_OK 0
#define HLVX_ERR_ARGUMENT 1     /* null pointer, bad length, bad time-out, bad item */
#define HLVX_ERR_HANDLE 2       /* no such handle (never issued or disconnected) */
#define HLVX_ERR_NO_DEVICE 3    /* nothing listens, or nothing answered the ping */
#define HLVX_ERR_TIMEOUT 4      /* no answer within the time-out */
#define HLVX_ERR_LINK_LOST 5    /* the amplifier closed the connection */
#define HLVX_ERR_BUFFER_SMALL 6 /* the answer does not fit the caller's buffer */
#define HLVX_ERR_BAD_RESPONSE 7 /* the answer is not a response block, or was refused */

/* Time-out of a new handle, and the wait for an amplifier in _HLVX_Connect. */
#define HLVX_DEFAULT_TIMEOUT_MS 2000
#define HLVX_CONNECT_WAIT_MS 1000

/* Items of _HLVX_GetInfo. */
#define HLVX_INFO_SOCKET_PATH 0 /* the socket's path, NUL-terminated text */

#ifdef __cplusplus
extern "C" {
#endif

/* The names are the driver's interface, leading underscores included. */
/* NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp) */

HALVEX_API int _HLVX_GetVersion(uint32_t *v1, uint32_t *v2, uint32_t *v3, uint32_t *v4);
/* Uses the handle's time-out. */
HALVEX_API int _HLVX_SndCmdAndRcvRsp(uint32_t handle, int command_length, const uint8_t *command,
                                     int response_capacity, uint8_t *response);
/* Only device_index 0 exists. HLVX_ERR_NO_DEVICE: nothing listens at the
 * socket; HLVX_ERR_TIMEOUT: no amplifier answered within
 * HLVX_CONNECT_WAIT_MS; HLVX_ERR_LINK_LOST: it closed the connection;
 * HLVX_ERR_BAD_RESPONSE: it refused it. */
HALVEX_API int _HLVX_Connect(int device_index, uint32_t *handle);
HALVEX_API int _HLVX_Disconnect(uint32_t handle);
/* Uses timeout_ms (> 0) for this call only. */
HALVEX_API int _HLVX_SndCmdAndRcvRspEx(uint32_t handle, int command_length, const uint8_t *command,
                                       int response_capacity, uint8_t *response, int timeout_ms);
/* timeout_ms > 0. */
HALVEX_API int _HLVX_SetTimeout(uint32_t handle, int timeout_ms);
/* Writes the item into buffer and its length in bytes (the terminating NUL
 * included for text) into *length. When capacity is too small, only *length
 * is written and HLVX_ERR_BUFFER_SMALL returned. reserved is ignored. */
HALVEX_API int _HLVX_GetInfo(uint32_t handle, int item, void *buffer, int capacity, int *length,
                             int reserved);

/* NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp) */

#ifdef __cplusplus
}
#endif

#endif
