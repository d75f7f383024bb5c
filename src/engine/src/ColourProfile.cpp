#include "ColourProfile.h"

#include <lcms2.h>

#include <memory>
#include <type_traits>
#include <string>

namespace pixmorph {

namespace {

struct Primaries {
  cmsCIExyYTRIPLE rgb;
  cmsCIExyY white;
  const char* name;
};

constexpr cmsCIExyY kD65 = {0.3127, 0.3290, 1.0};

// The primaries of the code points cameras and encoders use.
bool primariesOf(int code, Primaries& p) {
  switch (code) {
    case 1:
    case 2:  // unspecified: taken as BT.709, as viewers do
      p = {{{0.640, 0.330, 1}, {0.300, 0.600, 1}, {0.150, 0.060, 1}}, kD65, "BT.709"};
      return true;
    case 4: p = {{{0.67, 0.33, 1}, {0.21, 0.71, 1}, {0.14, 0.08, 1}}, {0.310, 0.316, 1}, "BT.470 M"}; return true;
    case 5: p = {{{0.64, 0.33, 1}, {0.29, 0.60, 1}, {0.15, 0.06, 1}}, kD65, "BT.601 625"}; return true;
    case 6:
    case 7: p = {{{0.630, 0.340, 1}, {0.310, 0.595, 1}, {0.155, 0.070, 1}}, kD65, "BT.601 525"}; return true;
    case 9: p = {{{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}}, kD65, "BT.2020"}; return true;
    case 11: p = {{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, {0.314, 0.351, 1}, "DCI-P3"}; return true;
    case 12: p = {{{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, kD65, "Display P3"}; return true;
    case 22: p = {{{0.630, 0.340, 1}, {0.295, 0.605, 1}, {0.155, 0.077, 1}}, kD65, "EBU 3213"}; return true;
    default: return false;
  }
}

// lcms2's parametric curve type 4: Y = (aX + b)^g for X >= d, else cX.
struct Transfer {
  cmsFloat64Number params[5];
  const char* name;
};

bool transferOf(int code, Transfer& t) {
  switch (code) {
    case 1:
    case 6:
    case 14:
    case 15: t = {{1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081}, "BT.709"}; return true;
    case 2:  // unspecified: sRGB
    case 13: t = {{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}, "sRGB"}; return true;
    case 4: t = {{2.2, 1, 0, 0, 0}, "gamma 2.2"}; return true;
    case 5: t = {{2.8, 1, 0, 0, 0}, "gamma 2.8"}; return true;
    case 8: t = {{1, 1, 0, 0, 0}, "linear"}; return true;
    default: return false;  // PQ, HLG and the rest
  }
}

struct ContextDeleter {
  void operator()(cmsContext c) const { cmsDeleteContext(c); }
};
struct ProfileDeleter {
  void operator()(void* p) const { cmsCloseProfile(static_cast<cmsHPROFILE>(p)); }
};
struct CurveDeleter {
  void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};

}  // namespace

std::vector<uint8_t> iccFromCicp(int colourPrimaries, int transferCharacteristics) {
  Primaries p;
  Transfer t;
  if (!primariesOf(colourPrimaries, p) || !transferOf(transferCharacteristics, t)) return {};
  const bool srgbPrimaries = colourPrimaries == 1 || colourPrimaries == 2;
  const bool srgbTransfer = transferCharacteristics == 13 || transferCharacteristics == 2;
  if (srgbPrimaries && srgbTransfer) return {};

  // A context of its own: conversions run on several threads at once.
  std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextDeleter> context(cmsCreateContext(nullptr, nullptr));
  if (!context) return {};
  std::unique_ptr<cmsToneCurve, CurveDeleter> curve(cmsBuildParametricToneCurve(context.get(), 4, t.params));
  if (!curve) return {};
  cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
  std::unique_ptr<void, ProfileDeleter> profile(cmsCreateRGBProfileTHR(context.get(), &p.white, &p.rgb, curves));
  if (!profile) return {};

  const std::string description = std::string(p.name) + " primaries, " + t.name + " transfer";
  if (cmsMLU* mlu = cmsMLUalloc(context.get(), 1)) {
    cmsMLUsetASCII(mlu, "en", "US", description.c_str());
    cmsWriteTag(profile.get(), cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
  }
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return {};
  std::vector<uint8_t> icc(size);
  if (!cmsSaveProfileToMem(profile.get(), icc.data(), &size)) return {};
  icc.resize(size);
  return icc;
}

}  // namespace pixmorph
