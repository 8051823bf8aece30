// One generation, shared by doPfg and the compiler API: the JSON document to
// a profile image in memory, with pfg.log's lines in the state's log sink.
#ifndef ZENTROVA_PROFILE_GENERATOR_H
#define ZENTROVA_PROFILE_GENERATOR_H

#include <mutex>
#include <optional>
#include <string>

#include "profile/action_params.h"
#include "profile/pfg_state.h"
#include "zentrova/profile/ProfileImage.h"

/// Held by every generation: the state is one per process.
std::mutex& pfg_generation_mutex();

/// Whether `profileName` fits the image's name field; logs the "[ERROR]"
/// line when it does not (or is null).
bool pfg_check_name(const char* profileName);

/// Compiles profile `profileName` of the `rightHand` entry of the JSON file
/// `jsonFile` (or, when `jsonText` is set, of that text, named `jsonFile`
/// in the log) into an image, and logs its header values. Nothing when the
/// document breaks the schema or needs more than 65535 programs (logged).
std::optional<zentrova::ProfileImage> pfg_build(const char* jsonFile, const std::string* jsonText, int rightHand,
                                                const char* profileName);

/// Logs the size and CRC lines of the finished image `bytes`.
void pfg_log_image(const std::vector<uint8_t>& bytes);

/// A fresh generator state for as long as it lives, the previous one
/// (doPfg's, carried between its calls) restored afterwards.
class FreshGeneratorState {
public:
    FreshGeneratorState();
    ~FreshGeneratorState();
    FreshGeneratorState(const FreshGeneratorState&) = delete;
    FreshGeneratorState& operator=(const FreshGeneratorState&) = delete;

private:
    pfg_state_t savedState_;
    action_params_t savedParams_;
};

#endif
