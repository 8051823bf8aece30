// The key-binding compiler: one binding of a profile's "_key_data" list into
// the program records of the image.
#ifndef ZENTROVA_PROFILE_ADD_ACTION_H
#define ZENTROVA_PROFILE_ADD_ACTION_H

/// Binding kinds by "action_type".
enum : int {
    kActionNone = 0,
    kActionMouseFunction = 1,
    kActionKey = 2,
    kActionMacro = 3,
    kActionKeyRepeater = 4,
    kActionProfileOrJoystick = 5,
};

/// Compiles the binding of configurator mouse button `key_code`: works out
/// its program slots, decodes `action_data` (a text or, for the macro, key
/// repeater and profile/joystick kinds, a JSON object; may be null), stages
/// the values in action_params and appends the programs to pfg_state.image.
/// Problems are logged to pfg.log; a refused binding writes nothing and
/// advances no counter.
void add_action(int key_code, int action_type, const char* action_data);

#endif
