#include "profile/action_params.h"

action_params_t action_params;
