// The option switches: /p /s /v /w, each with its "-" form, alone or grouped.
#ifndef VOLSURVEY_DRIVER_OPTIONS_H_
#define VOLSURVEY_DRIVER_OPTIONS_H_

// Applies every switch of `text` (starting at its switch character) to
// settings, or ends the process naming the bad switch.  `from_config` makes
// the message say that the text came from the configuration file.
void apply_options(const char* text, bool from_config);

// True when the switch at `text` (its letter) is `name` ("v", "v-", ...),
// followed by the end of the text or by the "/" of the next switch.
bool match_option(const char* text, const char* name);

#endif  // VOLSURVEY_DRIVER_OPTIONS_H_
