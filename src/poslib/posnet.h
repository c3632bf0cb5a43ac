// Declarations of the printer maker's communication library, as this program calls it.
// Whatever is linked behind them (the open implementation in this folder) must keep these
// signatures and return conventions; the printer calls them through PosnetLibrary.
#ifndef POSLIB_POSNET_H
#define POSLIB_POSNET_H

#include <stdint.h>

#if defined(_WIN32)
#define POSNET_API __stdcall
#else
#define POSNET_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Opaque handle of a device, an open device or a request; 0 means failure.
typedef uint32_t POSNET_HANDLE;
// 0 for success, otherwise an error code (the printer's number or the library's own).
typedef int32_t POSNET_STATUS;

// Device parameter ids accepted by POS_SetDeviceParam.
#define POSNET_DEV_PARAM_COMSETTINGS 0x20001    /* value: "PORT,9600,8,N,1,H" */
#define POSNET_DEV_PARAM_OUTQUEUELENGTH 0x2000A /* value: address of an int32_t */

// The library's code for a lost line (port gone, peer closed, no answer in time).
#define POSNET_STATUS_DISCONNECTED 8
// The library's codes for an answer that came damaged, or under another command's name.
#define POSNET_STATUS_BROKEN_ANSWER 10006
#define POSNET_STATUS_UNEXPECTED_ANSWER 10007

// The call limits. POS_PopResponseValue writes a value's name into POSNET_NAME_LENGTH bytes,
// its end included; the program gives it POSNET_VALUE_LENGTH bytes for the value, and a
// longer one is cut. POS_GetPrnDeviceStatus waits POSNET_WAIT_LIMIT_MS for the printer, and
// the program waits as long for each request (POS_WaitForRequestCompleted).
#define POSNET_NAME_LENGTH 16
#define POSNET_VALUE_LENGTH 256
#define POSNET_WAIT_LIMIT_MS 5000

POSNET_HANDLE POSNET_API POS_CreateDeviceHandle(uint32_t deviceType);
POSNET_STATUS POSNET_API POS_SetDeviceParam(POSNET_HANDLE hDevice, uint32_t paramId, void* value);
POSNET_HANDLE POSNET_API POS_OpenDevice(POSNET_HANDLE hDevice);
POSNET_STATUS POSNET_API POS_GetPrnDeviceStatus(POSNET_HANDLE hLocalDevice, int32_t mode,
                                                int32_t* globalStatus, int32_t* printerStatus);
POSNET_STATUS POSNET_API POS_CloseDevice(POSNET_HANDLE hLocalDevice);
POSNET_STATUS POSNET_API POS_DestroyDeviceHandle(POSNET_HANDLE hDevice);

POSNET_STATUS POSNET_API POS_GetError(POSNET_HANDLE hDeviceOrLocalDevice);
// Text for a code in the given language ("pl"), Windows-1250; null when the code is unknown.
const char* POSNET_API POS_GetErrorString(POSNET_STATUS code, const char* language);

POSNET_HANDLE POSNET_API POS_CreateRequestEx(POSNET_HANDLE hLocalDevice, const char* command,
                                             const char* parameters);
POSNET_HANDLE POSNET_API POS_CreateRequest(POSNET_HANDLE hLocalDevice, const char* command);
POSNET_STATUS POSNET_API POS_PostRequest(POSNET_HANDLE hRequest, uint8_t mode);
POSNET_STATUS POSNET_API POS_WaitForRequestCompleted(POSNET_HANDLE hRequest,
                                                     uint32_t timeoutMilliseconds);
POSNET_STATUS POSNET_API POS_GetRequestStatus(POSNET_HANDLE hRequest);
uint32_t POSNET_API POS_GetResponseValueCount(POSNET_HANDLE hRequest);
// Pops one response value: name into POSNET_NAME_LENGTH bytes, value into valueLength bytes,
// both terminated.
// Returns 0 while a value was popped, non-zero when none is left.
POSNET_STATUS POSNET_API POS_PopResponseValue(POSNET_HANDLE hRequest, char* name, char* value,
                                              uint32_t valueLength);
POSNET_STATUS POSNET_API POS_DestroyRequest(POSNET_HANDLE hRequest);

// Beyond the maker's declarations: what the program needs to find out what became of a
// command whose answer it never saw: a frame may carry a token ("@nnnn"), and the printer
// keeps its last answers by token.
//
// The number of the request's token (0..9999); asked before the request is posted, it makes
// the frame carry that token.
POSNET_STATUS POSNET_API POS_GetRequestToken(POSNET_HANDLE hRequest, uint32_t* token);
// A request "rpt" carrying `token`: the printer answers it with its stored answer to the
// command that carried that token, under that command's name and with its status, or with
// frame error 13 when it no longer holds that answer. An answer under a name other than
// `command` (another command that carried the same token) completes the request with
// POSNET_STATUS_UNEXPECTED_ANSWER.
POSNET_HANDLE POSNET_API POS_CreateRepeatRequest(POSNET_HANDLE hLocalDevice, uint32_t token,
                                                 const char* command);

#ifdef __cplusplus
}
#endif

#endif
