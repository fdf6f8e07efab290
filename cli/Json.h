#pragma once

#include <string>
#include <string_view>

/// True when bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

/// bytes in standard base64 with padding.
std::string Base64(std::string_view bytes);

/// Appends text (well-formed UTF-8) to out as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view text);

/// Appends "key": value to out for bytes: a string under key when they are UTF-8, else their base64
/// under bytesKey.
void AppendJsonText(std::string& out, std::string_view key, std::string_view bytesKey,
                    std::string_view bytes);
