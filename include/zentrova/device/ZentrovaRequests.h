// The mouse's USB identifiers and its vendor control requests (bRequest).
// Requests without an answer use bmRequestType 0x40, requests with one 0xC0;
// wValue is always 0.
#ifndef ZENTROVA_DEVICE_ZENTROVAREQUESTS_H
#define ZENTROVA_DEVICE_ZENTROVAREQUESTS_H

#include <cstdint>

constexpr uint16_t ZENTROVA_VENDOR_ID = 0x7A51;
constexpr uint16_t ZENTROVA_PRODUCT_ID_RIGHT = 2;
constexpr uint16_t ZENTROVA_PRODUCT_ID_LEFT = 3;
constexpr uint8_t ZENTROVA_MOUSE_ID_RIGHT = 0;  // answer of ZENTROVA_CTRL_REQUEST_ID
constexpr uint8_t ZENTROVA_MOUSE_ID_LEFT = 1;

constexpr uint8_t ZENTROVA_REQUEST_TYPE_OUT = 0x40; // host to device, vendor, device
constexpr uint8_t ZENTROVA_REQUEST_TYPE_IN = 0xC0;  // device to host, vendor, device
constexpr unsigned ZENTROVA_TRANSFER_TIMEOUT_MS = 1000;
constexpr unsigned ZENTROVA_MAX_CHUNK = 4096;       // largest upload data stage

// Status byte answered by ZENTROVA_CTRL_REQUEST_STATUS; no other value is
// defined, and the driver refuses any other as an error.
constexpr uint8_t ZENTROVA_STATUS_READY = 0;
constexpr uint8_t ZENTROVA_STATUS_BUSY = 1;
constexpr uint8_t ZENTROVA_STATUS_ERROR = 2;

constexpr uint8_t ZENTROVA_CTRL_REQUEST_RESET = 0x01;            // out, opens every command
constexpr uint8_t ZENTROVA_CTRL_REQUEST_STATUS = 0x02;           // in, 1 byte
constexpr uint8_t ZENTROVA_CTRL_REQUEST_DFU_START = 0xA0;        // in, 4 bytes: max image size
constexpr uint8_t ZENTROVA_CTRL_REQUEST_DFU_UPLOAD = 0xA1;       // out, next chunk
constexpr uint8_t ZENTROVA_CTRL_REQUEST_DFU_END = 0xA2;          // out
constexpr uint8_t ZENTROVA_CTRL_REQUEST_PROFILE_START = 0xB0;    // in, wIndex slot, 4 bytes: max size
constexpr uint8_t ZENTROVA_CTRL_REQUEST_PROFILE_UPLOAD = 0xB1;   // out, next chunk
constexpr uint8_t ZENTROVA_CTRL_REQUEST_PROFILE_END = 0xB2;      // out
constexpr uint8_t ZENTROVA_CTRL_REQUEST_PROFILE_REMOVE = 0xB5;   // out, wIndex slot
constexpr uint8_t ZENTROVA_CTRL_REQUEST_PROFILE_ACTIVATE = 0xB6; // out, wIndex slot
constexpr uint8_t ZENTROVA_CTRL_REQUEST_LED_COLOR = 0xC0;        // out, wIndex 0xFFFF, 3 bytes
constexpr uint8_t ZENTROVA_CTRL_REQUEST_LED_PROGRAM = 0xC1;      // out, wIndex program (0 stops)
constexpr uint8_t ZENTROVA_CTRL_REQUEST_RUN_PROGRAM = 0xC2;      // out, wIndex program 0..64
constexpr uint8_t ZENTROVA_CTRL_REQUEST_LED_PARAMS = 0xC4;       // out, 16 bytes
constexpr uint8_t ZENTROVA_CTRL_REQUEST_ID = 0xC6;               // in, 1 byte: mouse ID
constexpr uint8_t ZENTROVA_CTRL_REQUEST_POLLING_RATE = 0xC7;     // out, wIndex rate code

#endif
