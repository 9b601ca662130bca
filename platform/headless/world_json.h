// The world as one line of JSON, as the headless runner dumps it.
#pragma once

#include <string>

// Appends the JSON object (without a newline) for `frame` frames run.
void AppendWorldJson(std::string& out, long long frame);

// Appends text as a JSON string literal; invalid UTF-8 becomes U+FFFD.
void AppendJsonString(std::string& out, const char* text, int length);
