// Audit, submission and mapping runs on the session's workspace and tables.
#include "workflow/mapping.h"

#include "core/filecheck.h"
#include "core/outputnames.h"
#include "gis/raster.h"
#include "mapping/bayesmap.h"
#include "mapping/effects.h"
#include "render/maprender.h"
#include "render/qimage_canvas.h"
#include "workflow/configure.h"
#include "workflow/runrecord.h"

namespace karvelo {

namespace fs = std::filesystem;

AuditResult Audit(Session& session) {
  AuditResult result = RunAudit(session.Ws(), session.Tables(), session.Reporter());
  if (result.ran) session.SetStage(result.configured ? Stage::Audited : Stage::Configured);
  if (result.ran && result.configured) {
    RunRecord& record = session.Record();
    record.audit = result;
    record.grids.clear();
    for (int slot = 1; slot <= session.Ws().DataDefCount; ++slot) record.grids.push_back(session.Ws().DataDef(slot));
  }
  return result;
}

SubmitResult Submit(Session& session) {
  SubmitFinal(session.Ws(), session.Reporter());
  session.SetStage(Stage::Submitted);
  return {session.Ws().RandomAbsences};
}

PriorControls PriorControlsFrom(PriorKind kind, const std::optional<std::string>& textP, const std::optional<std::string>& textA,
                                Workspace& ws) {
  PriorControls priors;
  priors.choice = kind;
  if (textP) {
    priors.textP = *textP;
    PriorEntry(priors, true, ws);
  }
  if (textA) {
    priors.textA = *textA;
    PriorEntry(priors, false, ws);
  }
  return priors;
}

namespace {

// The result grids' GeoTIFFs, written once the grids are.
void ExportGeoTiffs(Session& session, const std::vector<std::string>& grids, MapResult& result) {
  for (const std::string& grid : grids) {
    const fs::path tif = session.Run().Output(fs::path(grid).replace_extension(".tif").string());
    session.Reporter().status2("Saving " + tif.filename().string());
    gis::WriteGeoTiff(session.Run().Output(grid), tif, &session.Reporter());
    result.geotiffs.push_back(tif);
  }
}

// Every file a mapping step may write: the run's, the weights' table and the effect pictures.
std::vector<fs::path> MapStepOutputs(const Workspace& ws, const RunContext& run, bool geotiff) {
  std::vector<fs::path> out = MappingOutputs(run, geotiff);
  out.push_back(run.Output(kWeightsFile));
  for (fs::path& picture : EffectsPictureFiles(ws, run)) out.push_back(std::move(picture));
  return out;
}

}  // namespace

namespace {

MapResult MapRun(Session& session, MapOptions& options, Canvas& picture, Rgb face) {
  Workspace& ws = session.Ws();
  Shell& shell = session.Reporter();
  MapResult result;
  session.Tables().Independence.clear();
  // A grid of the configuration (or its projection) named like a result would be written over.
  if (!OutputsAreNotInputs(MapStepOutputs(ws, session.Run(), options.geotiff), MappingInputs(ws), shell)) {
    result.priors = options.priors;
    return result;
  }
  ClassCPStats samples{};
  result.mapped = options.uncertainty
                      ? ErrorProp(ws, session.Tables(), options.priors, options.evidence, picture, face, shell, &samples)
                      : MapBayesianProbability(ws, session.Tables(), options.priors, picture, face, shell);
  result.priors = options.priors;
  result.independence = session.Tables().Independence;
  if (!result.mapped) return result;
  // Random absences re-ran the audit and the submission inside the run.
  if (ws.RandomAbsences) session.SetStage(Stage::Submitted);
  result.declustered = result.priors.choice == PriorKind::Decluster && !ws.RandomAbsences;
  const char* const uncertain[] = {kMeanMapFile, kSdMapFile, kBootstrapDataFile, kMeanPictureFile, kMeanLog10PictureFile};
  const char* const plain[] = {kBayesMapFile, kBayesPictureFile, kBayesLog10PictureFile};
  if (options.uncertainty) {
    for (const char* name : uncertain) result.written.push_back(session.Run().Output(name));
  } else {
    for (const char* name : plain) result.written.push_back(session.Run().Output(name));
  }
  if (result.declustered) result.written.push_back(session.Run().Output(kDeclusteredGridFile));
  // The counts are the run's own: random absences, when drawn, were counted into them.
  result.weights = WeightsOfEvidence(ws);
  result.written.push_back(ReportWeightsOfEvidence(result.weights, shell));
  const std::string interval = options.uncertainty ? "bootstrap mean and +- 2 s.d. over the samples"
                                                   : "smoothed P(presence | class) and the central 95% of Beta(a + 1, b + 1)";
  // The pictures of the last run replace those of an earlier one, file by file.
  session.Record().effects.clear();
  for (EffectsPicture& picture : ReportEffects(ws, options.uncertainty ? &samples : nullptr, shell)) {
    session.Record().effects.push_back({picture.grid, interval, picture.file});
    result.written.push_back(std::move(picture.file));
  }
  if (options.geotiff) ExportGeoTiffs(session, ResultGridNames(options.uncertainty, result.declustered), result);
  return result;
}

}  // namespace

MapResult Map(Session& session, MapOptions& options, Canvas& picture, Rgb face) {
  MapResult result = MapRun(session, options, picture, face);
  if (result.mapped) session.Record().maps.push_back({options, result});
  return result;
}

MapCommandResult MapConfiguration(Session& session, const fs::path& config, MapOptions options) {
  Workspace& ws = session.Ws();
  Shell& shell = session.Reporter();
  MapCommandResult out;
  LoadConfigurationFile(session, config);
  std::vector<fs::path> inputs = MappingInputs(ws);
  inputs.push_back(config);
  if (!OutputsAreNotInputs(MapStepOutputs(ws, session.Run(), options.geotiff), inputs, shell)) {
    out.refusal = MapRefusal::Unmappable;
    return out;
  }
  if (options.priors.choice != PriorKind::Manual && !ws.HasAbsenceGrid()) {
    // Without observed absences they are drawn at random in proportion to the prior, which must
    // then be entered: a calculated prior would silently become a manual 0.5.
    shell.message("--prior " + std::string(PriorKindName(options.priors.choice)) + " needs observed absences, and " +
                  config.string() + " marks none:\nabsences are drawn at random in proportion to a prior entered with --prior-p.");
    out.refusal = MapRefusal::Contradicting;
    return out;
  }
  out.audit = Audit(session);
  if (!out.audit.ran || !out.audit.configured) {
    out.refusal = MapRefusal::Unmappable;
    return out;
  }
  if (Submit(session).randomAbsences) options.priors.choice = PriorKind::Manual;  // absences drawn at random rest on a prior entered by hand
  if (ws.DataDefCount < 1) {
    shell.message("No dataconfiguration defined!\nRestart or import configuration file first.");
    out.refusal = MapRefusal::Unmappable;
    return out;
  }
  QImageCanvas picture(kMapPictureSize, kMapPictureSize);
  out.map = Map(session, options, picture, kDefaultFace);
  if (!out.map.mapped) out.refusal = MapRefusal::Unmappable;
  return out;
}

}  // namespace karvelo
