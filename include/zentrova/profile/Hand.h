// The two models of the mouse: the JSON profile file has one entry for each
// ("Left Mouse", "Right Mouse"), and each has its own USB product ID.
#ifndef ZENTROVA_PROFILE_HAND_H
#define ZENTROVA_PROFILE_HAND_H

namespace zentrova {

enum class Hand { Left, Right };

} // namespace zentrova

#endif
