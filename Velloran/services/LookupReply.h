#pragma once
// The store lookup's JSON reply and its conversion into AppStoreApp records.
//
// Decoding is strict and all-or-nothing: the top level must be an object with a "results" array of
// objects; every entry needs an integer "trackId" and a string "trackName"; the optional keys, when
// present and not null, must be strings. Any other shape fails the whole reply with an error of the
// application's coding domain (kCodingErrorDomain: keyNotFound, typeMismatch, dataCorrupted) naming
// the place ("results[2].trackName"). Keys not listed here are ignored. A number is an integer when
// it is whole and fits 64 bits (42 and 42.0 alike).
//
// Pure functions, safe on any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Velloran/services/AppStoreApp.h"
#include "platform/error/Result.h"

namespace velloran {

inline constexpr const char* kLookupFallbackSubtitle = "Im App Store ansehen";
inline constexpr const char* kLookupFallbackGenre = "App Store";

struct LookupEntry {
  std::int64_t trackId = 0;
  std::string trackName;
  std::optional<std::string> subtitle;
  std::optional<std::string> primaryGenreName;
  std::optional<std::string> sellerName;
  std::optional<std::string> artworkUrl512;
  std::optional<std::string> artworkUrl100;
  std::optional<std::string> trackViewUrl;
};

struct LookupResponse {
  std::vector<LookupEntry> results;
};

platform::Result<LookupResponse> decodeLookupResponse(std::string_view body);

// The record shown for `entry`, or nothing when it has no usable store-page URL. The subtitle is the
// trimmed "subtitle", else the trimmed "sellerName", else kLookupFallbackSubtitle; the genre is
// "primaryGenreName" as sent, else kLookupFallbackGenre; the artwork is the larger image when its
// URL is valid, else the smaller one.
std::optional<AppStoreApp> makeAppStoreApp(const LookupEntry& entry);

}  // namespace velloran
