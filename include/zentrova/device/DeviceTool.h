// Device tool entry: one device operation per call, with a numeric result
// and a trace appended to "pfu.log" in the current directory.
//
// Each call finds the mice of the requested hand (vendor 0x7A51, product 3
// left, 2 right), keeps the last one whose mouse ID matches the hand, opens
// it, performs the operation and closes it again. No exception leaves the
// call: failures come back as result codes. A mouse that keeps answering busy
// fails the call with ZENTROVA_PFU_USB_ERROR ("timeout") after 10 s in one
// handshake or 30 s in one operation (an upload: 0.2 s more per 4096 bytes).
// Calls of doPfu and getFwVersion run one at a time: one that overlaps
// another (from another thread) waits for it (pfu_log is one process-global
// stream). The mouse ID check and the operation each hold an advisory lock
// on the mouse's device node: another program's operation on the mouse ends
// first; one that goes on for more than 30 s fails the call with
// ZENTROVA_PFU_USB_ERROR. A mouse that went away since the listing or fails
// a string request is left out of the search.
#ifndef ZENTROVA_DEVICE_DEVICETOOL_H
#define ZENTROVA_DEVICE_DEVICETOOL_H

#include "zentrova/export.h"

/* Operations (`operation`). 3, negative and larger values are not defined. */
enum {
    ZENTROVA_PFU_OP_CHECK = 0,           /* find and open the mouse */
    ZENTROVA_PFU_OP_FIRMWARE = 1,        /* firmware update from the DFU image `file` */
    ZENTROVA_PFU_OP_UPLOAD_PROFILE = 2,  /* profile image `file` into slot `value` */
    ZENTROVA_PFU_OP_LED = 4,             /* LED effect */
    ZENTROVA_PFU_OP_RUN_PROGRAM = 5,     /* run stored program `program` */
    ZENTROVA_PFU_OP_ACTIVATE_PROFILE = 6,/* activate slot `value` */
    ZENTROVA_PFU_OP_POLLING_RATE = 7     /* polling rate code `value` */
};

/* LED effects (`ledProgram`). Other values log the settings and send nothing. */
enum {
    ZENTROVA_LED_OFF = -1,
    ZENTROVA_LED_BREATHING = 0,
    ZENTROVA_LED_RAINBOW = 1,
    ZENTROVA_LED_STATIC = 2
};

/* Results. */
enum {
    ZENTROVA_PFU_DONE = 0,                  /* operation 0, 6 or 7 done */
    ZENTROVA_PFU_NO_DEVICE = 2,             /* no mouse with the hand's vendor and product ID */
    ZENTROVA_PFU_BAD_HAND = 3,              /* rightHand neither 0 nor 1 */
    ZENTROVA_PFU_PROFILE_UPLOADED = 0x20,
    ZENTROVA_PFU_PROFILE_UNREADABLE = 0x21, /* profile file could not be opened, buffered or read */
    ZENTROVA_PFU_PROFILE_INVALID = 0x22,    /* profile file failed validation */
    ZENTROVA_PFU_FIRMWARE_SENT = 0x30,
    ZENTROVA_PFU_FIRMWARE_INVALID = 0x33,   /* DFU image failed the header checks */
    ZENTROVA_PFU_DEVICE_ERROR = 0x50,       /* the mouse reported a protocol failure */
    ZENTROVA_PFU_USB_ERROR = 0x51,          /* USB transfer, access or enumeration failure */
    ZENTROVA_PFU_FILE_ERROR = 0x52,         /* firmware file could not be opened or read */
    ZENTROVA_PFU_OTHER_ERROR = 0x53,        /* any other failure */
    ZENTROVA_PFU_LED_DONE = 0x60,
    ZENTROVA_PFU_PROGRAM_STARTED = 0x70,
    ZENTROVA_PFU_NOT_DONE = 0xFF            /* operation not defined, an argument out of range, or no
                                               mouse of that hand's ID */
};

ZENTROVA_EXTERN_C_BEGIN

/* rightHand: 0 left, 1 right. value: profile slot (operations 2, 6) or
 * polling rate code (7), 0..255. file: DFU image (1) or profile image (2).
 * color: 0xRRGGBBxx. ledProgram: ZENTROVA_LED_*. brightness, speed: 0..255.
 * program: stored program number 0..64 (5). An argument of the operation
 * outside its range is ZENTROVA_PFU_NOT_DONE, before the mouse is opened. */
ZENTROVA_API int doPfu(int rightHand, int operation, int value, const char* file, unsigned int color, int ledProgram,
                       int brightness, int speed, int program);

ZENTROVA_EXTERN_C_END

#endif
