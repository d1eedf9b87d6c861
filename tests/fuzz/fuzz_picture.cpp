// Any bytes read as a BMP, PNG or JPEG file either load or raise EKestBadData.
#include <cstdint>
#include <new>

#include "gfx/piccodecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kest::TDIBSurface img;
  try {
    kest::LoadBmp(data, size, img);
  } catch (const kest::EKest&) {
  }
  try {
    kest::LoadPng(data, size, img);
  } catch (const kest::EKest&) {
  }
  try {
    kest::DecodeJpeg(data, size, img);
  } catch (const kest::EKest&) {
  } catch (const std::bad_alloc&) {
  }
  return 0;
}
