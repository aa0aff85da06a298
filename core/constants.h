#pragma once

// What more than one part of the tool must agree on.

#include <cstdint>

#ifndef VANTREL_VERSION
#error "the build defines VANTREL_VERSION from project(VERSION)"
#endif

// The banner and the name the tool gives its console.
inline constexpr char kProgramTitle[] = "vantrel " VANTREL_VERSION;

// A title is searched and shown up to its 511th byte.
inline constexpr int kTitleSize = 512;

// How long any other process (window, compositor, X server, bus, shell) is
// given to answer one exchange.
inline constexpr int kAnswerSeconds = 5;
inline constexpr std::uint64_t kAnswerMs = kAnswerSeconds * 1000u;
