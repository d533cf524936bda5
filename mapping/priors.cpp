// Entering and calculating the prior probabilities.
#include "mapping/priors.h"

#include <cstring>

#include "core/numfmt.h"
#include "mapping/decluster.h"

namespace karvelo {

namespace {

std::optional<double> FieldValue(const std::string& text) { return ParseReal(Trimmed(text)); }

// Presences or absences anywhere in a raster.
long long CountOnes(const ByteRaster& r) {
  long long n = 0;
  const std::uint8_t* d = r.data();
  for (std::size_t i = 0; i < ByteRaster::kCells; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, d + i, 8);
    if (w == 0) continue;
    for (std::size_t j = i; j < i + 8; ++j) n += d[j] != 0;
  }
  return n;
}

void LogPriors(const PriorControls& c, Shell& shell, const std::string& suffix) {
  shell.log("Prior probability presence: " + c.textP + suffix);
  shell.log("Prior probability absence: " + c.textA + suffix);
}

}  // namespace

const char* PriorKindName(PriorKind kind) {
  switch (kind) {
    case PriorKind::Frequency: return "frequency";
    case PriorKind::Decluster: return "decluster";
    case PriorKind::Manual: break;
  }
  return "manual";
}

std::string PriorText(double v) { return FixedInWidth(v, 3, 5); }

void PriorEntry(PriorControls& c, bool presence, Workspace& ws) {
  std::string& edited = presence ? c.textP : c.textA;
  std::string& other = presence ? c.textA : c.textP;
  const auto v = FieldValue(edited);
  if (!v || *v < 0 || *v > 1) {
    c.textP = c.textA = "0.5";
  } else {
    other = PriorText(1 - *v);
  }
  ws.PriorP = FieldValue(c.textP).value_or(0.5);
  ws.PriorA = FieldValue(c.textA).value_or(0.5);
}

bool PriorStep(Workspace& ws, PriorControls& c, Shell& shell, bool bootstrap) {
  if (c.choice == PriorKind::Frequency) {
    const long long nP = CountOnes(ws.PresenceRaster), nA = CountOnes(ws.AbsenceRaster);
    if (nP + nA == 0) {
      shell.message("No presence and no absence was counted:\nthe prior probabilities cannot be calculated from relative frequencies.");
      return false;
    }
    ws.PriorP = static_cast<double>(nP) / static_cast<double>(nP + nA);
    ws.PriorA = 1 - ws.PriorP;
    c.textP = PriorText(ws.PriorP);
    c.textA = PriorText(ws.PriorA);
    LogPriors(c, shell, bootstrap ? " (relative frequencies of the observations)"
                                  : " (calculated by relative frequencies of the observations)");
    return true;
  }
  if (c.choice == PriorKind::Decluster) {
    if (!Decluster(ws, shell)) return false;
    c.textP = PriorText(ws.PriorP);
    c.textA = PriorText(ws.PriorA);
    LogPriors(c, shell, " (calculated after spatial declustering of the observations)");
    return true;
  }
  const auto p = FieldValue(c.textP), a = FieldValue(c.textA);
  if (!p || !a) {
    shell.message("The prior probabilities \"" + c.textP + "\" and \"" + c.textA +
                  "\" must be numbers from 0 to 1.\nEnter them again.");
    return false;
  }
  ws.PriorP = *p;
  ws.PriorA = *a;
  LogPriors(c, shell, " (manual input)");
  return true;
}

}  // namespace karvelo
