// An AES-256 context that the library makes for itself (key set, IV zero) and
// wipes when it goes out of scope, so that no key material outlives the call.
#ifndef ZENTROVA_INTEGRITY_WIPED_AES_H
#define ZENTROVA_INTEGRITY_WIPED_AES_H

#include <string.h>

#include <cstdint>

#include "zentrova/integrity/aes256.h"

namespace zentrova {

class WipedAesContext {
public:
    explicit WipedAesContext(const uint8_t* key)
    {
        aes256_set_key(&ctx_, key);
        aes256_set_iv(&ctx_, nullptr);
    }
    ~WipedAesContext() { explicit_bzero(&ctx_, sizeof ctx_); }
    WipedAesContext(const WipedAesContext&) = delete;
    WipedAesContext& operator=(const WipedAesContext&) = delete;

    aes256_ctx_t* get() { return &ctx_; }

private:
    aes256_ctx_t ctx_;
};

} // namespace zentrova

#endif
