// The profile compiler: one profile of a configurator JSON document into a
// profile image in memory, with what went wrong as diagnostics.
//
//   zentrova::CompileResult r = zentrova::compileProfileFile("mouse.json", zentrova::Hand::Right, "Work");
//   for (const zentrova::Diagnostic& d : r.diagnostics)
//       std::cerr << d.line << ':' << d.column << ": " << d.message << " (" << d.path << ")\n";
//   if (r.ok()) upload(r.bytes);
//
// These functions write nothing to standard output and create no file. Each
// call compiles on a state of its own: unlike doPfg, nothing (DPI table,
// freeform DPI, joystick mode, key-repeater numbering) carries over from one
// call to the next. Calls may come from several threads; they run one at a
// time (and never during a doPfg call).
//
// The image is exactly the one doPfg writes for the same input on the same
// state, and `log` the lines doPfg appends to "pfg.log" for it.
#ifndef ZENTROVA_PROFILE_COMPILER_H
#define ZENTROVA_PROFILE_COMPILER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zentrova/export.h"
#include "zentrova/profile/Hand.h"
#include "zentrova/profile/ProfileImage.h"

namespace zentrova {


struct Diagnostic {
    enum class Severity { Info, Warning, Error };
    Severity severity = Severity::Error;
    std::string message;
    /// Position in the JSON text, 1-based; column counts bytes. 0 when not known.
    size_t line = 0;
    size_t column = 0;
    /// JSON pointer (RFC 6901) of the value concerned, e.g.
    /// "/testData/1/profiles/0/_key_data/3/action_data"; for a member that
    /// is missing, the pointer it would have (line and column then give its
    /// object). Empty when the whole document is concerned or nothing is known.
    std::string path;
};

struct CompileResult {
    /// The image, unless the profile could not be compiled at all (schema
    /// break, name too long, unreadable file, more than 65535 programs).
    /// Bindings that are refused one by one (e.g. an unknown key name) leave
    /// an error diagnostic and an image without their programs, as doPfg does.
    std::optional<ProfileImage> image;
    std::vector<uint8_t> bytes;  ///< image->serialize(), or empty

    /// In the order of the JSON text; those without a place last.
    /// Errors: the "[ERROR]" lines of the log, one each, without the tag (a
    /// key name not in the key table with the nearest names: "; did you
    /// mean leftbracket?"); and what the image would hold otherwise than
    /// written: a value that would wrap (a DPI level, a freeform DPI, dead
    /// zone, delay, repeat count, scroll step or profile number outside what
    /// its field holds), a binding left out or never triggered (a key code
    /// that is no button, an unknown action type, mouse function or profile
    /// function, an unpaired input without the release program it needs, a
    /// macro id that names no macro).
    /// Warnings: no entry for the hand, no profile of that name (the image
    /// then holds no programs), an image too large for the mouse's loader;
    /// and values the compiler replaces or drops: a dead zone setting
    /// outside 1..100, a "mode" other than 0 and 1, a level that is
    /// on with 0 DPI, a modifier that is no modifier key, a macro step of no
    /// known type or key, a member given twice.
    /// Information: members the compiler never reads.
    /// None of these adds a line to `log`: it is doPfg's log, unchanged.
    std::vector<Diagnostic> diagnostics;

    size_t handEntries = 0;       ///< entries of the document for the hand
    size_t profilesCompiled = 0;  ///< profiles of that name compiled (all matches, in turn)
    std::string log;              ///< the pfg.log lines of this generation
    std::string progress;         ///< doPfg's standard output lines ("Name: ...", "profile_name: ...")

    size_t errorCount() const
    {
        size_t n = 0;
        for (const Diagnostic& d : diagnostics)
            n += d.severity == Diagnostic::Severity::Error;
        return n;
    }
    /// An image and no error diagnostic.
    bool ok() const { return image.has_value() && errorCount() == 0; }
};

/// Compiles profile `profileName` (at most ProfileImage::kMaxNameLength
/// bytes) of the `hand` entry of the JSON document `json`. `source` names
/// the document in messages (e.g. the file it was read from).
ZENTROVA_API CompileResult compileProfile(const std::string& json, Hand hand, const std::string& profileName,
                                          const std::string& source = "(JSON text)");

/// As compileProfile, the document read from `path`; a file that cannot be
/// read or is larger than 64 MiB is an error diagnostic and gives no image.
ZENTROVA_API CompileResult compileProfileFile(const std::string& path, Hand hand, const std::string& profileName);

} // namespace zentrova

#endif
