// The result file: typed results of the workflow layer turned into JSON fields.
#include "batch/result_json.h"

#include <ostream>

#include "batch/jsonwriter.h"
#include "core/atomicfile.h"
#include "core/errors.h"

namespace karvelo {

namespace {

const char* SignificanceName(Significance s) {
  switch (s) {
    case Significance::At95: return "0.05";
    case Significance::At99: return "0.01";
    default: return "none";
  }
}

void Chi2Fields(JsonWriter& j, const Chi2Result& t) {
  j.Key("chi2").Number(t.value).Key("df").Integer(t.df).Key("significance").String(SignificanceName(t.level));
}

void GoodnessOfFitObject(JsonWriter& j, const GoodnessOfFit& g) {
  j.BeginObject();
  Chi2Fields(j, g.test);
  j.Key("classesWithoutExpectation").BeginArray();
  for (int k : g.classesWithoutExpectation) j.Integer(k);
  j.EndArray().EndObject();
}

void IntervalObject(JsonWriter& j, const std::optional<AucInterval>& interval) {
  if (!interval) {
    j.Null();
    return;
  }
  j.BeginObject().Key("auc").Number(interval->auc).Key("lower").Number(interval->lower);
  j.Key("upper").Number(interval->upper).EndObject();
}

const char* MessageKindName(MessageKind kind) {
  switch (kind) {
    case MessageKind::Information: return "information";
    case MessageKind::Error: return "error";
    default: return "warning";
  }
}

}  // namespace

std::string AuditJson(const AuditResult& audit) {
  JsonWriter j;
  j.BeginObject().Key("classes").BeginArray();
  for (const AuditClassRow& row : audit.classes) {
    j.BeginObject().Key("entry").Integer(row.entry).Key("class").Integer(row.klasse).Key("grid").String(row.grid);
    j.Key("cells").Integer(row.counts.cells).Key("presences").Integer(row.counts.presences);
    j.Key("absences").Integer(row.counts.absences).EndObject();
  }
  j.EndArray().Key("tests").BeginArray();
  for (const AuditGridTest& t : audit.tests) {
    j.BeginObject().Key("entry").Integer(t.entry).Key("grid").String(t.grid);
    j.Key("presences");
    if (t.hasPresences) GoodnessOfFitObject(j, t.presences);
    else j.Null();
    j.Key("absences");
    if (t.hasAbsences) GoodnessOfFitObject(j, t.absences);
    else j.Null();
    j.Key("significant").Bool(t.significant).EndObject();
  }
  j.EndArray().Key("emptyClassNotes").Strings(audit.emptyClassNotes).Key("summary").String(audit.summary).EndObject();
  return j.Text();
}

std::string MapJson(const MapCommandResult& result, double priorP, double priorA, bool uncertainty) {
  const MapResult& map = result.map;
  JsonWriter j;
  j.BeginObject().Key("audit").Raw(AuditJson(result.audit));
  j.Key("uncertainty").Bool(uncertainty).Key("declustered").Bool(map.declustered);
  j.Key("priors").BeginObject().Key("choice").String(PriorKindName(map.priors.choice));
  j.Key("presence").Number(priorP).Key("absence").Number(priorA).EndObject();
  j.Key("weights").BeginArray();
  for (const WeightsRow& w : map.weights) {
    j.BeginObject().Key("entry").Integer(w.entry).Key("class").Integer(w.klasse).Key("grid").String(w.grid);
    j.Key("lower").Number(w.lower).Key("upper").Number(w.upper);
    j.Key("cells").Integer(w.cells).Key("presences").Integer(w.presences).Key("absences").Integer(w.absences);
    j.Key("wPlus").Number(w.w.wPlus).Key("sPlus").Number(w.w.sPlus).Key("wMinus").Number(w.w.wMinus);
    j.Key("sMinus").Number(w.w.sMinus).Key("contrast").Number(w.w.contrast).Key("sContrast").Number(w.w.sContrast);
    j.Key("studentizedContrast").Number(w.w.studentized).Key("halfAdded").Bool(w.w.halfAdded).EndObject();
  }
  j.EndArray().Key("independence").Strings(map.independence).EndObject();
  return j.Text();
}

std::string ValidationJson(const ValidationRun& run) {
  const EvaluationResult& e = run.evaluation;
  JsonWriter j;
  j.BeginObject().Key("records").Integer(run.recordsKept).Key("presenceOnly").Bool(e.presenceOnly);
  j.Key("map").String(e.mapName).Key("codes").String(e.codesLine);
  j.Key("auc").Number(e.auc);
  j.Key("delong");
  IntervalObject(j, e.intervals.delong);
  j.Key("bootstrap");
  IntervalObject(j, e.intervals.bootstrap);
  j.Key("gain").BeginArray();
  for (const GainRow& g : e.gain) {
    j.BeginObject().Key("areaPercent").Integer(g.areaPercent).Key("threshold").Number(g.threshold);
    j.Key("areaTaken").Number(g.areaTaken).Key("findsShare").Number(g.findsShare).Key("gain").Number(g.gain).EndObject();
  }
  j.EndArray().Key("thresholds").BeginArray();
  for (const ThresholdRow& t : e.thresholds) {
    j.BeginObject().Key("kind").String(ThresholdName(t.kind)).Key("threshold").Number(t.threshold);
    j.Key("sensitivity").Number(t.sensitivity).Key("specificity").Number(t.specificity).Key("area").Number(t.area);
    j.Key("gain").Number(t.gain).Key("kappa").Number(t.kappa).Key("p").Number(t.p).EndObject();
  }
  j.EndArray().Key("boyce").Number(e.boyce.index);
  j.Key("predictionArea");
  if (e.predictionArea.intersection) {
    const PredictionAreaPoint& pa = *e.predictionArea.intersection;
    j.BeginObject().Key("threshold").Number(pa.threshold).Key("finds").Number(pa.finds).Key("area").Number(pa.area).EndObject();
  } else {
    j.Null();
  }
  j.Key("comparison");
  if (e.comparison) {
    const PairedAucComparison& c = *e.comparison;
    j.BeginObject().Key("map").String(e.compareName).Key("auc").Number(c.firstAuc).Key("otherAuc").Number(c.secondAuc);
    j.Key("difference").Number(c.difference).Key("lower").Number(c.lower).Key("upper").Number(c.upper);
    j.Key("p").Number(c.p).EndObject();
  } else {
    j.Null();
  }
  j.Key("binaryThreshold").Number(e.binaryThreshold);
  j.Key("notes").Strings(run.notes).EndObject();
  return j.Text();
}

std::string ResultFileText(const ResultFile& file) {
  JsonWriter j;
  j.BeginObject().Key("command").String(file.command).Key("status").Integer(file.status);
  j.Key("outcome").String(file.outcome);
  j.Key("message");
  if (file.message) j.String(*file.message);
  else j.Null();
  j.Key("files").BeginArray();
  if (file.report) {
    for (const auto& f : file.report->files) j.String(f.string());
  }
  j.EndArray().Key("warnings").BeginArray();
  for (const auto& [kind, text] : file.messages) {
    if (kind != MessageKind::Information) j.String(text);
  }
  j.EndArray().Key("messages").BeginArray();
  for (const auto& [kind, text] : file.messages) {
    j.BeginObject().Key("kind").String(MessageKindName(kind)).Key("text").String(text).EndObject();
  }
  j.EndArray().Key("results");
  if (file.report && file.report->results) j.Raw(*file.report->results);
  else j.Null();
  j.EndObject();
  return j.Text() + "\n";
}

bool WriteResultFile(const std::filesystem::path& path, const std::string& text, std::ostream& err) {
  try {
    AtomicFile out(path);
    out.Write(text.data(), text.size());
    out.Commit();
    return true;
  } catch (const FileError& e) {
    err << "karvelo: " << e.what() << '\n';
    return false;
  }
}

std::string CrossValidationJson(const CrossValidationResult& r) {
  JsonWriter j;
  j.BeginObject().Key("folds").Integer(r.folds).Key("split").String(r.split == FoldSplit::Blocks ? "blocks" : "random");
  j.Key("blockSize").Integer(r.blockSize).Key("presenceOnly").Bool(r.presenceOnly);
  j.Key("meanAuc").Number(r.outcome.mean).Key("sdAuc").Number(r.outcome.sd);
  j.Key("foldScores").BeginArray();
  for (const FoldScore& f : r.outcome.scores) {
    j.BeginObject().Key("fold").Integer(f.fold).Key("presences").Integer(f.presences);
    j.Key("absences").Integer(f.absences).Key("auc").Number(f.auc).EndObject();
  }
  j.EndArray().Key("notes").Strings(r.notes).EndObject();
  return j.Text();
}

std::string ImportanceJson(const ImportanceResult& r) {
  JsonWriter j;
  j.BeginObject().Key("byPoints").Bool(r.byPoints).Key("scoredOn").String(r.scoredOn);
  j.Key("fullAuc").Number(r.fullAuc).Key("fullGain").Number(r.fullGain).Key("grids").BeginArray();
  for (const ImportanceRow& row : r.rows) {
    j.BeginObject().Key("grid").String(row.grid).Key("aucWithout").Number(row.aucWithout).Key("aucAlone").Number(row.aucAlone);
    j.Key("loss").Number(row.loss).Key("gainWithout").Number(row.gainWithout).Key("gainAlone").Number(row.gainAlone).EndObject();
  }
  j.EndArray().Key("notes").Strings(r.notes).EndObject();
  return j.Text();
}

}  // namespace karvelo
