// The run report from the steps' typed results: sections in the order of the four steps.
#include "report/runreport.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QString>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <set>
#include <system_error>

#include "config/proposals.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"
#include "core/outputnames.h"
#include "core/projection.h"
#include "core/sha256.h"
#include "mapping/priors.h"
#include "render/maprender.h"
#include "report/htmlwriter.h"
#include "stats/statstext.h"
#include "validation/boyce.h"
#include "validation/gain.h"
#include "validation/pairedauc.h"
#include "validation/predictionarea.h"
#include "validation/roc.h"
#include "validation/thresholds.h"
#include "karvelo_version.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {

// A4 portrait with 15 mm margins; tables wrap their cells instead of running off the page.
constexpr const char* kStyle =
    "@page { size: A4; margin: 15mm; }\n"
    "body { font-family: sans-serif; font-size: 10pt; color: #111; background: #fff; max-width: 180mm; margin: 0 auto; }\n"
    "h1 { font-size: 18pt; border-bottom: 2px solid #2a5d8a; color: #2a5d8a; }\n"
    "h2 { font-size: 14pt; color: #2a5d8a; margin-top: 1.5em; page-break-after: avoid; }\n"
    "h3 { font-size: 11pt; page-break-after: avoid; }\n"
    "p.what { font-style: italic; color: #444; }\n"
    "table { border-collapse: collapse; width: 100%; table-layout: auto; margin: 0.5em 0; }\n"
    "th, td { border: 1px solid #999; padding: 2px 4px; overflow-wrap: anywhere; word-break: break-word; }\n"
    "th { background: #dde7f0; text-align: left; overflow-wrap: normal; word-break: keep-all; }\n"
    "td.n { text-align: right; font-variant-numeric: tabular-nums; }\n"
    "tr { page-break-inside: avoid; }\n"
    "caption { text-align: left; font-weight: bold; padding: 2px 0; }\n"
    "ul.code li { font-family: monospace; overflow-wrap: anywhere; }\n"
    "figure { margin: 0.5em 0; page-break-inside: avoid; display: inline-block; max-width: 100%; vertical-align: top; }\n"
    "img { max-width: 100%; height: auto; border: 1px solid #ccc; }\n"
    ".legend { display: flex; align-items: center; gap: 6px; font-size: 9pt; }\n"
    ".ramp { display: inline-block; width: 160px; height: 12px; border: 1px solid #666; background: linear-gradient(to right, #ffffff, #010101); }\n"
    ".nodata { display: inline-block; width: 12px; height: 12px; background: #ff0000; border: 1px solid #666; }\n";

std::string Fixed(double v, int decimals) { return FormatFixed(v, decimals); }
std::string Optional(const std::optional<double>& v, int decimals) { return v ? FormatFixed(*v, decimals) : "-"; }

std::string SignificanceWords(const Chi2Result& r) {
  switch (r.level) {
    case Significance::At99: return "significant at the 1% level";
    case Significance::At95: return "significant at the 5% level";
    default: return "not significant at the 5% level";
  }
}

// The picture as a PNG data URI, or nothing when it cannot be read.
std::optional<std::string> PngDataUri(const QImage& image) {
  if (image.isNull()) return std::nullopt;
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) return std::nullopt;
  return "data:image/png;base64," + bytes.toBase64().toStdString();
}

std::optional<std::string> PictureDataUri(const fs::path& bmp) {
  std::error_code ec;
  if (!fs::is_regular_file(bmp, ec)) return std::nullopt;
  return PngDataUri(QImage(QString::fromStdString(bmp.string())));
}

// What a map's legend and data file need: the range of its values and how many cells fall in
// each tenth of it, on the linear scale and on log10 of the values above 0.
struct GridValues {
  TDataDef def;
  long long cells = 0, positive = 0;
  double min = 0, max = 0, logMin = 0, logMax = 0;
  std::vector<long long> bins, logBins;
  QImage picture;  // one pixel per cell, on the maps' grey ramp (for grids the steps draw no picture of)
};
constexpr int kBins = 10;

int BinOf(double v, double lo, double hi) {
  if (!(hi > lo)) return 0;
  return std::clamp(static_cast<int>((v - lo) / (hi - lo) * kBins), 0, kBins - 1);
}

// A result grid's values, read twice (the range, then the counts): no copy of the grid is held.
// Values below 0 are no probabilities: markers of cells without a value, like NODATA.
std::optional<GridValues> ReadGridValues(const fs::path& file, Shell& shell, bool withPicture) {
  GridValues g;
  g.def.FileName = file.string();
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return std::nullopt;
  try {
    if (!ReadHeader(g.def, shell)) return std::nullopt;
    const auto valid = [&](double v) { return v != g.def.NODATA_value && v >= 0 && std::isfinite(v); };
    g.min = std::numeric_limits<double>::infinity();
    g.max = -g.min;
    g.logMin = g.min;
    g.logMax = g.max;
    for (int pass = 0; pass < 2; ++pass) {
      GridRows rows(g.def, shell.run().Pool());
      if (pass == 1) {
        g.bins.assign(kBins, 0);
        g.logBins.assign(kBins, 0);
        if (withPicture) {
          g.picture = QImage(g.def.ncols, g.def.nrows, QImage::Format_RGB32);
        }
      }
      for (int r = 0; r < g.def.nrows; ++r) {
        const double* row = rows.Next();
        for (int c = 0; c < g.def.ncols; ++c) {
          const double v = row[c];
          const bool ok = valid(v);
          if (pass == 0) {
            if (!ok) continue;
            ++g.cells;
            g.min = std::min(g.min, v);
            g.max = std::max(g.max, v);
            if (v > 0) {
              ++g.positive;
              g.logMin = std::min(g.logMin, std::log10(v));
              g.logMax = std::max(g.logMax, std::log10(v));
            }
            continue;
          }
          if (ok) {
            ++g.bins[BinOf(v, g.min, g.max)];
            if (v > 0) ++g.logBins[BinOf(std::log10(v), g.logMin, g.logMax)];
          }
          if (withPicture) {
            const Rgb colour = ok ? RampGrey(v, g.min, g.max) : kNoDataRed;
            g.picture.setPixel(c, r, qRgb(colour.r, colour.g, colour.b));
          }
        }
      }
    }
  } catch (const FileError& e) {
    shell.log(std::string("Run report: ") + e.what());
    return std::nullopt;
  }
  if (g.cells == 0) g.min = g.max = 0;
  if (g.positive == 0) g.logMin = g.logMax = 0;
  if (withPicture && !g.picture.isNull()) {
    const int side = std::max(g.def.ncols, g.def.nrows);
    if (side < kMapPictureSize) {
      g.picture = g.picture.scaled(g.def.ncols * kMapPictureSize / side, g.def.nrows * kMapPictureSize / side,
                                   Qt::KeepAspectRatio, Qt::FastTransformation);
    }
  }
  return g;
}

std::string HistogramCsv(const GridValues& g, bool log10Scale) {
  const double lo = log10Scale ? g.logMin : g.min, hi = log10Scale ? g.logMax : g.max;
  const auto& bins = log10Scale ? g.logBins : g.bins;
  std::string csv = log10Scale ? "log10_from,log10_to,cells\n" : "from,to,cells\n";
  for (int b = 0; b < kBins; ++b) {
    csv += FormatShortest(lo + (hi - lo) * b / kBins) + "," + FormatShortest(lo + (hi - lo) * (b + 1) / kBins) + "," +
           std::to_string(bins[b]) + "\n";
  }
  return csv;
}

std::string LegendHtml(double lo, double hi, bool log10Scale) {
  const std::string unit = log10Scale ? "log10 of the probability " : "";
  return "<div class=\"legend\"><span>" + HtmlEscaped(unit + FormatShortest(lo)) +
         "</span><span class=\"ramp\">&nbsp;</span><span>" + HtmlEscaped(FormatShortest(hi)) +
         "</span><span class=\"nodata\">&nbsp;</span><span>no value</span></div>\n";
}

// The report's parts: the page, its data files and their names.
class Builder {
 public:
  Builder(const RunRecord& record, Shell& shell) : record_(record), shell_(shell), html_("Karvelo run report", kStyle) {}

  HtmlWriter& Html() { return html_; }
  Shell& Sh() { return shell_; }
  const RunRecord& Record() const { return record_; }

  // A data file's link beside the page, under a name no other figure took.
  std::string AddData(const std::string& figure, std::string csv) {
    std::string name = figure + ".csv";
    for (int n = 2; !names_.insert(name).second; ++n) name = figure + " " + std::to_string(n) + ".csv";
    data_.push_back({name, std::move(csv)});
    return std::string(kReportFilesFolder) + "/" + name;
  }

  void Picture(const fs::path& bmp, const std::string& caption, const std::string& dataLink) {
    if (const auto uri = PictureDataUri(bmp)) {
      html_.Figure(*uri, bmp.filename().string(), caption, dataLink);
    } else {
      html_.Paragraph("The picture " + bmp.string() + " is missing or cannot be read.");
    }
  }

  // A map picture with its legend and the counts of its values as its data.
  void MapFigure(const fs::path& bmp, const fs::path& grid, bool log10Scale, const std::string& caption) {
    const auto values = ReadGridValues(grid, shell_, false);
    std::string link;
    if (values) link = AddData(bmp.stem().string(), HistogramCsv(*values, log10Scale));
    Picture(bmp, caption, link);
    if (values) {
      html_.Raw(log10Scale ? LegendHtml(values->logMin, values->logMax, true) : LegendHtml(values->min, values->max, false));
    }
  }

  ReportDocument Finish() { return {html_.Finish(), std::move(data_), {}}; }

 private:
  const RunRecord& record_;
  Shell& shell_;
  HtmlWriter html_;
  std::vector<ReportDataFile> data_;
  std::set<std::string> names_;
};

void RunSection(Builder& b, const ReportIdentity& id) {
  HtmlWriter& h = b.Html();
  h.OpenSection();
  h.Heading(2, "The run", "run");
  h.Paragraph("Which program made these results, when, where, and the commands that make them again.", "what");
  std::vector<std::vector<std::string>> rows = {
      {"Program", "Karvelo " + id.version},
      {"Date", id.date},
      {"Working folder", id.folder.string()},
      {"Threads", std::to_string(id.threads)},
      {"Seed", id.seed ? std::to_string(*id.seed) : std::string("none")}};
  h.Table({"Item", "Value"}, rows);
  if (id.seed) {
    h.Paragraph("Every random step of the run (random absences, the bootstrap samples of the uncertainty map and the "
                "bootstrap interval of the AUC) starts from the seed " + std::to_string(*id.seed) + ".");
  }
  h.Heading(3, "Commands that repeat the run");
  if (id.commands.empty()) {
    h.Paragraph("No step of this run can be repeated from the command line.");
  } else {
    h.List(id.commands, true);
  }
  h.CloseSection();
}

void InputsSection(Builder& b, const std::vector<ReportInputFile>& inputs) {
  HtmlWriter& h = b.Html();
  h.OpenSection();
  h.Heading(2, "The inputs", "inputs");
  h.Paragraph("Every file the run read, with its size, header and projection, and a SHA-256 checksum that tells "
              "whether a file is still the one used.", "what");
  std::vector<std::vector<std::string>> rows;
  for (const ReportInputFile& f : inputs) {
    rows.push_back({f.path.string(), f.role, std::to_string(f.bytes), f.header, f.projection, f.sha256});
  }
  h.Table({"File", "Role", "Bytes", "Header", "Projection", "SHA-256"}, rows);
  h.CloseSection();
}

std::string ProposalWords(const RunRecord& record, const TDataDef& def) {
  const auto it = record.proposals.find(fs::path(def.FileName).filename().string());
  if (it == record.proposals.end()) return "as the configuration gives them";
  return "proposed: " + std::string(ProposalCaption(it->second));
}

void ConfigurationSection(Builder& b) {
  const RunRecord& record = b.Record();
  if (record.grids.empty()) return;
  HtmlWriter& h = b.Html();
  h.OpenSection();
  h.Heading(2, "1. The configuration", "configuration");
  h.Paragraph("The grids of the configuration, the values that mark presences and absences, and the classes each "
              "auxiliary grid was divided into.", "what");
  if (record.configuration) h.Paragraph("Configuration file: " + record.configuration->string());
  std::vector<std::vector<std::string>> rows;
  for (const TDataDef& d : record.grids) {
    std::string role;
    if (d.IsPresenceGrid() || d.IsAbsenceGrid()) {
      role = "observations";
      if (d.IsPresenceGrid()) role += "; presences " + FormatShortest(d.PositiveIndicatorValue);
      if (d.IsAbsenceGrid()) role += "; absences " + FormatShortest(d.NegativeIndicatorValue);
    } else {
      role = "auxiliary";
    }
    rows.push_back({fs::path(d.FileName).filename().string(), role,
                    d.IsAuxiliaryGrid() ? std::to_string(d.NrClasses) + " classes, " + ProposalWords(record, d) : "-"});
  }
  h.Table({"Grid", "Role and indicator values", "Classes"}, rows);
  for (const TDataDef& d : record.grids) {
    if (!d.IsAuxiliaryGrid()) continue;
    std::vector<std::vector<std::string>> bounds;
    for (int k = 0; k < d.NrClasses; ++k) {
      bounds.push_back({std::to_string(k + 1), FormatShortest(d.mclasses[k][ClassLower]), FormatShortest(d.mclasses[k][ClassUpper])});
    }
    h.Table({"Class", "From (included)", "To (excluded)"}, bounds, "Classes of " + fs::path(d.FileName).filename().string());
  }
  h.CloseSection();
}

void AuditSection(Builder& b) {
  const RunRecord& record = b.Record();
  if (!record.audit) return;
  const AuditResult& a = *record.audit;
  HtmlWriter& h = b.Html();
  h.OpenSection();
  h.Heading(2, "2. The audit", "audit");
  h.Paragraph("How many cells, presences and absences fall in each class, and whether presences and absences spread "
              "over the classes otherwise than the cells do (a chi-squared goodness-of-fit test per grid).", "what");
  std::vector<std::vector<std::string>> rows;
  for (const AuditClassRow& c : a.classes) {
    rows.push_back({c.grid, std::to_string(c.klasse), std::to_string(c.counts.cells), std::to_string(c.counts.presences),
                    std::to_string(c.counts.absences)});
  }
  h.Table({"Grid", "Class", "Cells", "Presences", "Absences"}, rows, "Counts per class");
  std::vector<std::vector<std::string>> tests;
  for (const AuditGridTest& t : a.tests) {
    auto cell = [](bool has, const GoodnessOfFit& fit) {
      return has ? std::vector<std::string>{FormatFixed(fit.test.value, 2), std::to_string(fit.test.df), SignificanceWords(fit.test)}
                 : std::vector<std::string>{"No data", "-", "-"};
    };
    std::vector<std::string> row = {t.grid};
    for (const std::string& s : cell(t.hasPresences, t.presences)) row.push_back(s);
    for (const std::string& s : cell(t.hasAbsences, t.absences)) row.push_back(s);
    tests.push_back(row);
  }
  h.Table({"Grid", "Chi-squared, presences", "df", "Presences", "Chi-squared, absences", "df", "Absences"}, tests,
          "Chi-squared tests");
  h.List(a.emptyClassNotes);
  if (!a.summary.empty()) h.Paragraph(a.summary);
  h.CloseSection();
}

std::vector<std::vector<std::string>> TableRows(const TextGrid& t, int from) {
  std::vector<std::vector<std::string>> rows;
  for (int r = from; r < t.RowCount(); ++r) {
    std::vector<std::string> row = t.Row(r);
    bool empty = true;
    for (const std::string& cell : row) empty = empty && Trimmed(cell).empty();
    if (!empty) rows.push_back(std::move(row));
  }
  return rows;
}

void TextTable(HtmlWriter& h, const TextGrid& t, const std::string& caption) {
  if (t.RowCount() < 2) return;
  const auto rows = TableRows(t, 1);
  if (rows.empty()) return;
  h.Table(t.Row(0), rows, caption);
}

void MappingSection(Builder& b, const RunTables& tables) {
  const RunRecord& record = b.Record();
  if (record.maps.empty()) return;
  HtmlWriter& h = b.Html();
  const fs::path folder = b.Sh().run().Folder();
  h.OpenSection();
  h.Heading(2, "3. The mapping", "mapping");
  h.Paragraph("The prior probabilities, the conditional probabilities of every class, the weights of evidence, the tests "
              "of the independence the map assumes, and the probability maps themselves.", "what");
  for (std::size_t i = 0; i < record.maps.size(); ++i) {
    const MapStepRecord& m = record.maps[i];
    const bool uncertain = m.options.uncertainty;
    h.Heading(3, std::string(uncertain ? "Uncertainty run" : "Plain map") + " (mapping run " + std::to_string(i + 1) + ")");
    std::string source = PriorKindName(m.result.priors.choice);
    if (m.result.priors.choice == PriorKind::Frequency) source = "relative frequencies of the observations";
    if (m.result.priors.choice == PriorKind::Decluster) source = "relative frequencies after spatial declustering";
    if (m.result.priors.choice == PriorKind::Manual) source = "entered by hand";
    h.Paragraph("Priors: presence " + Trimmed(m.result.priors.textP) + ", absence " + Trimmed(m.result.priors.textA) + " (" +
                source + ").");
    if (uncertain) {
      h.Paragraph("Evidence level: " + std::string(EvidenceOptionName(m.options.evidence)) + " (cells whose evidence is below " +
                  FormatShortest(EvidenceThreshold(m.options.evidence)) + " are left out of the maps).");
    }
    if (!m.result.independence.empty()) {
      h.Paragraph("Conditional independence (the presences against what the map expects, and every pair of grids):");
      h.List(m.result.independence, true);
    }
    if (uncertain) {
      h.Paragraph("The mean of the bootstrap samples' probabilities, on a linear and a log10 scale, and their standard "
                  "deviation (the uncertainty of each cell).");
      b.MapFigure(folder / kMeanPictureFile, folder / kMeanMapFile, false, "Mean probability (AVGBayesP.asc), linear scale.");
      b.MapFigure(folder / kMeanLog10PictureFile, folder / kMeanMapFile, true, "Mean probability (AVGBayesP.asc), log10 scale.");
      if (const auto sd = ReadGridValues(folder / kSdMapFile, b.Sh(), true); sd && !sd->picture.isNull()) {
        const std::string link = b.AddData("SDBayesP", HistogramCsv(*sd, false));
        h.Figure(PngDataUri(sd->picture).value_or(""), kSdMapFile, "Standard deviation of the probability (SDBayesP.asc).", link);
        h.Raw(LegendHtml(sd->min, sd->max, false));
      }
    } else {
      b.MapFigure(folder / kBayesPictureFile, folder / kBayesMapFile, false, "Probability (BayesP.asc), linear scale.");
      b.MapFigure(folder / kBayesLog10PictureFile, folder / kBayesMapFile, true, "Probability (BayesP.asc), log10 scale.");
    }
    if (m.result.declustered) h.Paragraph("The declustered observations were written to Declus.asc.");
  }
  // The tables show the last mapping run, as the window's tab does.
  TextTable(h, tables.BayesTable, "Mapping table (last mapping run)");
  TextTable(h, tables.Chi2a, "Class tests against an even split (last mapping run)");
  const std::vector<WeightsRow>& weights = record.maps.back().result.weights;
  if (!weights.empty()) {
    std::vector<std::vector<std::string>> rows;
    for (const WeightsRow& w : weights) {
      rows.push_back({fs::path(w.grid).filename().string(), std::to_string(w.klasse), FormatShortest(w.lower),
                      FormatShortest(w.upper), std::to_string(w.presences), std::to_string(w.absences), Fixed(w.w.wPlus, 4),
                      Fixed(w.w.sPlus, 4), Fixed(w.w.wMinus, 4), Fixed(w.w.sMinus, 4), Fixed(w.w.contrast, 4),
                      Fixed(w.w.studentized, 3)});
    }
    h.Table({"Grid", "Class", "From", "To", "Presences", "Absences", "W+", "s(W+)", "W-", "s(W-)", "Contrast", "Studentized"},
            rows, "Weights of evidence (last mapping run)");
  }
  h.CloseSection();
}

std::string RocCsv(const EvaluationResult& r) {
  std::vector<double> thresholds = r.rocFindScores;
  thresholds.insert(thresholds.end(), r.rocNonFindScores.begin(), r.rocNonFindScores.end());
  std::sort(thresholds.begin(), thresholds.end(), std::greater<>());
  thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
  std::vector<double> finds = r.rocFindScores, others = r.rocNonFindScores;
  std::sort(finds.begin(), finds.end(), std::greater<>());
  std::sort(others.begin(), others.end(), std::greater<>());
  std::string csv = "threshold,false_positive_rate,true_positive_rate\n";
  const double nf = static_cast<double>(std::max<std::size_t>(finds.size(), 1));
  const double nn = static_cast<double>(std::max<std::size_t>(others.size(), 1));
  std::size_t f = 0, o = 0;
  for (double t : thresholds) {
    while (f < finds.size() && finds[f] >= t) ++f;
    while (o < others.size() && others[o] >= t) ++o;
    csv += FormatShortest(t) + "," + FormatShortest(static_cast<double>(o) / nn) + "," + FormatShortest(static_cast<double>(f) / nf) + "\n";
  }
  return csv;
}

std::string GainCsv(const std::vector<GainRow>& rows) {
  std::string csv = "area_percent,threshold,area_taken,finds_share,gain\n";
  for (const GainRow& g : rows) {
    csv += std::to_string(g.areaPercent) + "," + FormatShortest(g.threshold) + "," + FormatShortest(g.areaTaken) + "," +
           FormatShortest(g.findsShare) + "," + (g.gain ? FormatShortest(*g.gain) : std::string()) + "\n";
  }
  return csv;
}

std::string BoyceCsv(const BoyceResult& boyce) {
  std::string csv = "low,high,centre,finds,cells,predicted_to_expected\n";
  for (const BoyceWindow& w : boyce.windows) {
    csv += FormatShortest(w.low) + "," + FormatShortest(w.high) + "," + FormatShortest(w.centre) + "," + std::to_string(w.finds) +
           "," + std::to_string(w.cells) + "," + (w.pe ? FormatShortest(*w.pe) : std::string()) + "\n";
  }
  return csv;
}

std::string PredictionAreaCsv(const PredictionArea& pa) {
  std::string csv = "threshold,finds_share,area_share\n";
  for (const PredictionAreaPoint& p : pa.curve) {
    csv += FormatShortest(p.threshold) + "," + FormatShortest(p.finds) + "," + FormatShortest(p.area) + "\n";
  }
  return csv;
}

void ValidationSection(Builder& b) {
  const RunRecord& record = b.Record();
  if (record.evaluations.empty()) return;
  HtmlWriter& h = b.Html();
  const fs::path folder = b.Sh().run().Folder();
  h.OpenSection();
  h.Heading(2, "4. The validation", "validation");
  h.Paragraph("How well the map ranks independent points: the ROC curve and its area (AUC) with 95% intervals, the gain "
              "of the map at each share of its area, thresholds, the Boyce index and the prediction-area curve.", "what");
  for (const EvaluationRecord& e : record.evaluations) {
    const EvaluationResult& r = e.result;
    h.Heading(3, r.mapName + " with " + e.points.filename().string());
    h.Paragraph("Records kept: " + std::to_string(e.recordsKept) + ". " + e.lookup);
    if (!r.codesLine.empty()) h.Paragraph(r.codesLine);
    if (r.auc) {
      std::vector<std::vector<std::string>> rows = {{"AUC", FormatFixed(*r.auc, 6), "", ""}};
      auto interval = [&](const char* name, const std::optional<AucInterval>& i) {
        if (i) rows.push_back({std::string("95% interval, ") + name, "", FormatFixed(i->lower, 4), FormatFixed(i->upper, 4)});
        else rows.push_back({std::string("95% interval, ") + name, "not available", "", ""});
      };
      interval("DeLong", r.intervals.delong);
      interval("stratified bootstrap", r.intervals.bootstrap);
      h.Table({"Statistic", "Value", "Lower", "Upper"}, rows, "Area under the ROC curve");
      if (r.intervals.tieNote) h.Paragraph(*r.intervals.tieNote);
      b.Picture(folder / (RocTitle(e.map.FileName) + ".bmp"), "ROC curve of " + r.mapName + ", AUC = " + AucText(*r.auc) + ".",
                b.AddData(RocTitle(r.mapName), RocCsv(r)));
    }
    if (!r.gain.empty()) {
      std::vector<std::vector<std::string>> rows;
      for (const GainRow& g : r.gain) {
        rows.push_back({std::to_string(g.areaPercent), FormatShortest(g.threshold), Fixed(g.areaTaken, 4), Fixed(g.findsShare, 4),
                        Optional(g.gain, 4)});
      }
      h.Table({"Area %", "Threshold", "Area taken", "Finds taken", "Gain"}, rows, "Gain table");
      b.Picture(folder / (GainTitle(r.mapName) + ".bmp"), "Success-rate curve of " + r.mapName + ".",
                b.AddData(GainTitle(r.mapName), GainCsv(r.gain)));
    }
    if (r.beyondAuc) {
      if (!r.thresholds.empty()) {
        std::vector<std::vector<std::string>> rows;
        for (const ThresholdRow& t : r.thresholds) {
          rows.push_back({ThresholdName(t.kind), FormatShortest(t.threshold), Fixed(t.sensitivity, 4), Optional(t.specificity, 4),
                          Fixed(t.area, 4), Optional(t.gain, 4), Optional(t.kappa, 4), PValueText(t.p)});
        }
        h.Table({"Threshold", "Value", "Sensitivity", "Specificity", "Area", "Gain", "Kappa", "p"}, rows, "Thresholds");
        b.AddData("Thresholds of " + r.mapName, [&] {
          std::string csv = "threshold,value,sensitivity,specificity,area,gain,kappa,p\n";
          for (const ThresholdRow& t : r.thresholds) {
            csv += ThresholdName(t.kind) + "," + FormatShortest(t.threshold) + "," + FormatShortest(t.sensitivity) + "," +
                   (t.specificity ? FormatShortest(*t.specificity) : "") + "," + FormatShortest(t.area) + "," +
                   (t.gain ? FormatShortest(*t.gain) : "") + "," + (t.kappa ? FormatShortest(*t.kappa) : "") + "," +
                   FormatShortest(t.p) + "\n";
          }
          return csv;
        }());
      }
      h.Paragraph(BoyceLine(r.boyce));
      h.Paragraph(PredictionAreaLine(r.predictionArea));
      for (const fs::path& file : r.written) {
        if (file.extension() != ".bmp") continue;
        const std::string stem = file.stem().string();
        std::string link;
        if (stem.rfind("Boyce", 0) == 0) link = b.AddData(stem, BoyceCsv(r.boyce));
        else if (stem.rfind("Prediction", 0) == 0) link = b.AddData(stem, PredictionAreaCsv(r.predictionArea));
        b.Picture(file, stem + ".", link);
      }
    }
    if (r.binaryThreshold) h.Paragraph("Binary map at the threshold " + FormatFixed(*r.binaryThreshold, 6) + ".");
    if (r.comparison) h.Paragraph(ComparisonLine(r.compareName, *r.comparison));
    h.List(r.notes);
  }
  h.CloseSection();
}

// The sections of the steps that land later: shown when their results are there.
void FurtherSections(Builder& b) {
  const RunRecord& record = b.Record();
  HtmlWriter& h = b.Html();
  if (record.crossValidation) {
    const CrossValidationResult& cv = *record.crossValidation;
    h.OpenSection();
    h.Heading(2, "Cross-validation", "cross-validation");
    h.Paragraph("The map made again without each fold of the training observations and scored on the fold left out; "
                "the mean is over the folds. A wide spread between folds, or a mean far below the AUC of the training "
                "data, says the map is less certain than its picture suggests; spatial blocks test it on areas it has not seen.",
                "what");
    h.Paragraph(CrossValidationLine(cv));
    if (!cv.priorsNote.empty()) h.Paragraph(cv.priorsNote);
    std::vector<std::vector<std::string>> rows;
    for (const FoldScore& f : cv.outcome.scores) {
      rows.push_back({std::to_string(f.fold), std::to_string(f.presences), std::to_string(f.absences),
                      f.auc ? FormatFixed(*f.auc, 4) : "-"});
    }
    h.Table({"Fold", "Presences", cv.presenceOnly ? "Mapped cells" : "Absences", "AUC"}, rows,
            std::to_string(cv.folds) + " folds");
    for (const fs::path& p : cv.written) {
      if (p.extension() == ".bmp") b.Picture(p, "The folds over the map.", {});
    }
    h.List(cv.notes);
    h.CloseSection();
  }
  if (record.importance) {
    const ImportanceResult& im = *record.importance;
    h.OpenSection();
    h.Heading(2, "Importance of the grids", "importance");
    h.Paragraph("Each grid left out of the map, and each grid alone, scored on " + im.scoredOn +
                    ": a large loss without a grid, or a high AUC with it alone, says the grid carries the map.",
                "what");
    if (im.fullAuc) h.Paragraph("AUC with every grid: " + FormatFixed(*im.fullAuc, 4));
    auto opt = [](const std::optional<double>& v, int decimals) { return v ? FormatFixed(*v, decimals) : std::string("-"); };
    std::vector<std::vector<std::string>> rows;
    for (const ImportanceRow& r : im.rows) {
      std::vector<std::string> row{r.grid, opt(r.aucWithout, 4), opt(r.aucAlone, 4), opt(r.loss, 4)};
      if (im.byPoints) {
        row.push_back(opt(r.gainWithout, 4));
        row.push_back(opt(r.gainAlone, 4));
      }
      rows.push_back(row);
    }
    std::vector<std::string> head{"Grid", "AUC without", "AUC alone", "Loss"};
    if (im.byPoints) {
      head.push_back("Gain at 10% without");
      head.push_back("Gain at 10% alone");
    }
    h.Table(head, rows);
    for (const fs::path& p : im.written) {
      if (p.extension() == ".bmp") b.Picture(p, "AUC without each grid and with it alone.", {});
    }
    h.List(im.notes);
    h.CloseSection();
  }
  if (!record.effects.empty()) {
    h.OpenSection();
    h.Heading(2, "Effects of the classes", "effects");
    h.Paragraph("How each class of a grid moves the probability.", "what");
    for (const EffectPicture& e : record.effects) b.Picture(e.picture, e.grid + ": " + e.caption, {});
    h.CloseSection();
  }
}

std::string GridHeaderText(const TDataDef& d) {
  return "ncols " + std::to_string(d.ncols) + ", nrows " + std::to_string(d.nrows) + ", xllcorner " + FormatGeoref(d.xllcorner) +
         ", yllcorner " + FormatGeoref(d.yllcorner) + ", cellsize " + FormatGeoref(d.cellsize) + ", NODATA_value " +
         FormatShortest(d.NODATA_value);
}

std::string ProjectionText(const fs::path& file) {
  const fs::path prj = ProjectionFileOf(file);
  std::error_code ec;
  if (!fs::is_regular_file(prj, ec)) return "none (no " + prj.filename().string() + ")";
  std::ifstream in(prj, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return Trimmed(text);
}

std::string IsoDate(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0) return {};
  std::string s = text;
  // +0100 -> +01:00, the extended form of the rest of the stamp.
  if (s.size() > 5) s.insert(s.size() - 2, ":");
  return s;
}

}  // namespace

std::vector<ReportInputFile> ReportInputs(const RunRecord& record) {
  std::vector<ReportInputFile> files;
  std::set<std::string> seen;
  auto add = [&](const fs::path& path, const std::string& role, const std::string& header) {
    const std::string key = fs::absolute(path).lexically_normal().string();
    if (!seen.insert(key).second) return;
    ReportInputFile f;
    f.path = key;
    f.role = role;
    f.header = header;
    std::error_code ec;
    f.bytes = fs::file_size(path, ec);
    if (ec) f.bytes = 0;
    f.projection = role == "points" || role == "configuration" ? "-" : ProjectionText(path);
    try {
      f.sha256 = FileSha256(path);
    } catch (const FileError& e) {
      f.sha256 = std::string("cannot be read: ") + e.what();
    }
    files.push_back(std::move(f));
  };
  if (record.configuration) add(*record.configuration, "configuration", "-");
  for (const TDataDef& d : record.grids) {
    add(d.FileName, d.IsAuxiliaryGrid() ? "auxiliary grid" : "observation grid", GridHeaderText(d));
  }
  // A map this run made is a result; one made before is an input of its evaluation.
  std::set<std::string> made;
  for (const MapStepRecord& m : record.maps) {
    for (const fs::path& p : m.result.written) made.insert(fs::absolute(p).lexically_normal().string());
  }
  for (const EvaluationRecord& e : record.evaluations) {
    add(e.points, "points", "x in column " + std::to_string(e.columns[0]) + ", y in column " + std::to_string(e.columns[1]) +
                                ", code in column " + std::to_string(e.columns[2]));
    if (!made.count(fs::absolute(e.map.FileName).lexically_normal().string())) add(e.map.FileName, "map evaluated", GridHeaderText(e.map));
    if (e.options.compare) add(*e.options.compare, "map compared", "-");
  }
  return files;
}

ReportDocument BuildRunReport(const ReportIdentity& identity, const RunRecord& record, const RunTables& tables, Shell& shell) {
  Builder b(record, shell);
  b.Html().Heading(1, "Karvelo run report");
  b.Html().Paragraph("Made by Karvelo " + identity.version + " on " + identity.date + " in " + identity.folder.string() + ".");
  const std::vector<ReportInputFile> inputs = ReportInputs(record);
  RunSection(b, identity);
  InputsSection(b, inputs);
  ConfigurationSection(b);
  AuditSection(b);
  MappingSection(b, tables);
  ValidationSection(b);
  FurtherSections(b);
  ReportDocument doc = b.Finish();
  doc.inputs = inputs;
  return doc;
}

std::vector<std::string> RunIdentityLines(const ReportIdentity& identity, const std::vector<ReportInputFile>& inputs) {
  std::vector<std::string> lines;
  lines.push_back("Run of Karvelo " + identity.version);
  lines.push_back("Seed of the random steps: " + (identity.seed ? std::to_string(*identity.seed) : std::string("none")));
  for (const std::string& c : identity.commands) lines.push_back("Repeat with: " + c);
  for (const ReportInputFile& f : inputs) lines.push_back("SHA-256 " + f.sha256 + "  " + f.path.string());
  return lines;
}

std::optional<fs::path> WriteRunReport(Session& session, const std::vector<std::string>& commands, std::time_t now) {
  const RunRecord& record = session.Record();
  if (!record.HasResults()) return std::nullopt;
  Shell& shell = session.Reporter();
  ReportIdentity id;
  id.version = KARVELO_VERSION_TEXT;
  id.date = IsoDate(now);
  id.folder = session.Run().Folder();
  id.threads = session.Run().Threads();
  id.seed = session.Ws().FixedSeed;
  session.Record().seed = id.seed;
  id.commands = commands.empty() ? RepeatCommands(record, id.folder) : commands;
  const fs::path target = session.Run().Output(kReportFile);
  try {
    ReportDocument doc = BuildRunReport(id, record, session.Tables(), shell);
    shell.log("");
    for (const std::string& line : RunIdentityLines(id, doc.inputs)) shell.log(line);
    // The report never takes the place of a file the run read.
    for (const ReportInputFile& f : doc.inputs) {
      std::error_code ec;
      if (fs::equivalent(f.path, target, ec) || fs::path(f.path).parent_path().filename() == kReportFilesFolder) {
        const std::string warning = "The run report is not written: " + f.path.string() + " is an input of this run.";
        shell.log(warning);
        shell.message(warning, MessageKind::Warning);
        return std::nullopt;
      }
    }
    const fs::path dataFolder = session.Run().Output(kReportFilesFolder);
    if (!doc.data.empty()) {
      std::error_code ec;
      fs::create_directories(dataFolder, ec);
      if (ec) ThrowFileError(dataFolder, "cannot make the folder: " + ec.message());
      for (const ReportDataFile& d : doc.data) {
        AtomicFile file(dataFolder / d.name);
        file.Write(d.csv.data(), d.csv.size());
        file.Commit();
      }
    }
    AtomicFile page(target);
    page.Write(doc.html.data(), doc.html.size());
    page.Commit();
    shell.log(std::string("Run report: ") + kReportFile);
    return target;
  } catch (const FileError& e) {
    const std::string warning = std::string("The run report could not be written: ") + e.what();
    shell.log(warning);
    shell.message(warning, MessageKind::Warning);
  } catch (const fs::filesystem_error& e) {
    const std::string warning = std::string("The run report could not be written: ") + e.what();
    shell.log(warning);
    shell.message(warning, MessageKind::Warning);
  }
  return std::nullopt;
}

}  // namespace karvelo
