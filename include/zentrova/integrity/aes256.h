// AES-256 block cipher (FIPS-197: 14 rounds, standard S-box and key schedule)
// with CBC mode, in a small context that keeps no expanded key schedule.
//
// The context holds the cipher key, the key-schedule window after seven
// schedule steps, one scratch window and the CBC chaining value. Every call
// expands the round keys it needs into an array on its own stack and wipes
// that array before returning; nothing is allocated.
//
// Calling order: aes256_set_key(), then aes256_set_iv() before CBC use, then
// any number of block or CBC calls. The chaining value carries over from call
// to call, so a long buffer may be processed in several CBC calls of any
// multiple-of-16 sizes with the same result as one call over the whole buffer.
//
// The caller owns the context; one thread at a time may use it (even the block
// functions write work_key). All buffers are plain byte arrays with no
// alignment requirement. C linkage: the functions resolve by their plain names.
#ifndef ZENTROVA_INTEGRITY_AES256_H
#define ZENTROVA_INTEGRITY_AES256_H

#include <stddef.h>
#include <stdint.h>

#include "zentrova/export.h"

typedef struct aes256_ctx_t {
    uint8_t work_key[32]; // scratch: after a call, the round-key window where the last block's schedule ended
    uint8_t enc_key[32];  // the cipher key as given to aes256_set_key (round keys 0 and 1)
    uint8_t dec_key[32];  // the window after seven schedule steps; its first half is round key 14
    uint8_t iv[16];       // CBC chaining value: the IV, afterwards the last ciphertext block processed
} aes256_ctx_t;

ZENTROVA_EXTERN_C_BEGIN

// Stores the 32-byte key and derives dec_key from it. work_key and iv are not touched.
ZENTROVA_API void aes256_set_key(aes256_ctx_t* ctx, const uint8_t* key);
// Copies the 32-byte key out.
ZENTROVA_API void aes256_get_key(const aes256_ctx_t* ctx, uint8_t* key);
// Sets the 16-byte chaining value; a null iv sets 16 zero bytes.
ZENTROVA_API void aes256_set_iv(aes256_ctx_t* ctx, const uint8_t* iv);
// Copies the 16-byte chaining value out.
ZENTROVA_API void aes256_get_iv(const aes256_ctx_t* ctx, uint8_t* iv);

// Encrypt or decrypt one 16-byte block in place (no chaining).
ZENTROVA_API void aes256_encrypt(aes256_ctx_t* ctx, uint8_t* block);
ZENTROVA_API void aes256_decrypt(aes256_ctx_t* ctx, uint8_t* block);

// CBC over `size` bytes in place; afterwards iv holds the last ciphertext block
// (for decryption: as it was before decryption). Size 0 changes nothing.
//
// `size` must be a multiple of 16; anything else is a programming error that
// an assertion reports in builds without NDEBUG. With NDEBUG the call leaves
// the buffer and the context untouched instead, so a wrong size can never
// lead to access outside the buffer.
ZENTROVA_API void aes256_encrypt_cbc(aes256_ctx_t* ctx, uint8_t* buf, size_t size);
ZENTROVA_API void aes256_decrypt_cbc(aes256_ctx_t* ctx, uint8_t* buf, size_t size);

ZENTROVA_EXTERN_C_END

#endif
