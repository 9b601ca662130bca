// The check both systems' file-layer tests make of one PlatformOpenForReading
// case: the reason given, and for an opened file its whole text.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>

#include "host/files.h"

// The files the tests open hold exactly these 16 bytes.
constexpr char kOpenTestText[] = "0123456789abcdef";

inline void ExpectOpenResult(const char* path, unsigned long long cap, OpenFailure expected) {
  OpenFailure failure = OpenFailure::Failed;
  std::FILE* file = PlatformOpenForReading(path, cap, &failure);
  EXPECT_EQ(failure, expected);
  EXPECT_EQ(file != nullptr, expected == OpenFailure::None);
  if (file == nullptr) return;
  char text[32] = {};
  EXPECT_EQ(std::fread(text, 1, sizeof text, file), sizeof kOpenTestText - 1);
  EXPECT_STREQ(text, kOpenTestText);
  std::fclose(file);
}
