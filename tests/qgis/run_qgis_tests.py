"""The QGIS plugin end to end: its algorithms on the example data against karvelo-batch itself, byte
for byte, the styles beside the result grids, and a cancel in the middle of a run.

usage: python3 run_qgis_tests.py KARVELO_BATCH EXAMPLES PLUGIN_PARENT (QGIS's own Python, offscreen)"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

BATCH, EXAMPLES, PLUGINS = (os.path.abspath(a) for a in sys.argv[1:4])
os.environ["KARVELO_BATCH"] = BATCH
os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
# QGIS keeps raster statistics in .aux.xml files beside the grids: never beside the example data.
os.environ["GDAL_PAM_ENABLED"] = "NO"

try:
    from qgis.core import (QgsApplication, QgsProcessingContext, QgsProcessingException, QgsProcessingFeedback,
                           QgsProject, QgsVectorLayer)
except ImportError as e:
    print("FAILED: QGIS's Python modules cannot be imported ({}); install qgis and python3-qgis "
          "(scripts/setup-qgis.sh)".format(e))
    sys.exit(1)

app = QgsApplication([], False)
app.initQgis()
sys.path.insert(0, PLUGINS)
from karvelo.provider import KarveloProvider  # noqa: E402

failures = []
checked = []


def check(name, condition):
    checked.append(name)
    if not condition:
        failures.append(name)
        print("FAILED: " + name)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def same_bytes(a, b):
    return subprocess.run(["cmp", "-s", a, b]).returncode == 0


def batch(*args):
    done = subprocess.run([BATCH] + list(args), capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError("karvelo-batch {} failed: {}".format(" ".join(args), done.stderr))
    return done.stdout


def temporary_files(folder):
    return [os.path.join(d, n) for d, _, names in os.walk(folder) for n in names if ".karvelo-tmp-" in n]


class Feedback(QgsProcessingFeedback):
    """Keeps the errors an algorithm reports (a failed run's reason goes there)."""

    def __init__(self):
        super().__init__()
        self.errors = []

    def reportError(self, error, fatalError=False):
        self.errors.append(error)
        super().reportError(error, fatalError)


provider = KarveloProvider()
QgsApplication.processingRegistry().addProvider(provider)
registry = QgsApplication.processingRegistry()


def run(alg_id, parameters, feedback=None):
    alg = registry.algorithmById(alg_id)
    context = QgsProcessingContext()
    context.setProject(QgsProject.instance())
    feedback = feedback or Feedback()
    results, ok = alg.run(parameters, context, feedback)
    if not ok:
        raise RuntimeError("{} failed: {}".format(alg_id, " ".join(feedback.errors)))
    return results, context


# The algorithms listed; cross-validation exactly when karvelo-batch has its command.
ids = sorted(a.id() for a in provider.algorithms())
has_cv = any(line.startswith("  cv ") for line in batch("--help").splitlines())
expected = ["karvelo:audit", "karvelo:configure", "karvelo:map", "karvelo:validate"] + (["karvelo:crossvalidate"] if has_cv else [])
check("the provider lists its algorithms ({})".format(ids), ids == sorted(expected))
check("the provider is called Karvelo", provider.name() == "Karvelo" and not provider.icon().isNull())
for alg in provider.algorithms():
    check(alg.id() + " has help text", len(alg.shortHelpString()) > 40)

work = tempfile.mkdtemp(prefix="karvelo-qgis-test-")
examples_before = sorted(os.listdir(EXAMPLES))
try:
    E = lambda name: os.path.join(EXAMPLES, name)  # noqa: E731
    plugin, ref = os.path.join(work, "plugin"), os.path.join(work, "ref")
    os.makedirs(ref)

    # Configuration: the same file as karvelo-batch config with the same entries.
    run("karvelo:configure", {"OBSERVATION": E("obs.asc"), "PRESENCE": "1", "ABSENCE": "0",
                              "AUXILIARY": [E("dist.asc"), E("ffreq.asc"), E("soil.asc")], "CLASSES": "8",
                              "PROPOSAL": 0, "BOUNDS": ";1,2,3,4;1,2,3,4", "WORKDIR": plugin,
                              "OUTPUT": os.path.join(plugin, "c.txt")})
    batch("--workdir", ref, "config", "-o", os.path.join(ref, "c.txt"), "--obs", E("obs.asc") + ":1:0",
          "--aux", E("dist.asc") + ":8", "--aux", E("ffreq.asc") + ":1,2,3,4", "--aux", E("soil.asc") + ":1,2,3,4")
    check("configuration equals karvelo-batch's", same_bytes(os.path.join(plugin, "c.txt"), os.path.join(ref, "c.txt")))

    # A grid on other cells is aligned onto the observation layer's first, as karvelo-batch align does it.
    shifted = os.path.join(work, "soilshift.asc")
    with open(E("soil.asc")) as f:
        lines = f.read().splitlines()
    header = [l.replace("78", "77") if l.startswith("ncols") else l.replace("178440", "178480") for l in lines[:6]]
    with open(shifted, "w") as f:
        f.write("\n".join(header + [" ".join(l.split()[1:]) for l in lines[6:]]) + "\n")
    aligned_dir = os.path.join(work, "aligned")
    feedback = Feedback()
    run("karvelo:configure", {"OBSERVATION": E("obs.asc"), "AUXILIARY": [shifted], "CLASSES": "3",
                              "WORKDIR": aligned_dir, "OUTPUT": os.path.join(aligned_dir, "c.txt")}, feedback)
    batch("--workdir", ref, "align", "--like", E("obs.asc"), shifted, "-o", os.path.join(ref, "soilshift-aligned.asc"))
    check("configure: a grid on other cells is aligned first",
          same_bytes(os.path.join(aligned_dir, "soilshift-aligned.asc"), os.path.join(ref, "soilshift-aligned.asc"))
          and os.path.join(aligned_dir, "soilshift-aligned.asc") in open(os.path.join(aligned_dir, "c.txt")).read())

    # The uncertainty map, seeded: every result equal to karvelo-batch's.
    map_dir, ref_map = os.path.join(work, "map"), os.path.join(ref, "map")
    results, context = run("karvelo:map", {"CONFIG": os.path.join(plugin, "c.txt"), "PRIOR": 1, "UNCERTAINTY": True,
                                           "EVIDENCE": 0, "SEED": 7, "WORKDIR": map_dir})
    batch("--workdir", ref_map, "--seed", "7", "map", os.path.join(ref, "c.txt"), "--prior", "frequency")
    for name in ("AVGBayesP.asc", "SDBayesP.asc", "BootstrapData.txt", "BayesAVG-P.bmp", "Weights.csv"):
        check("map: {} equals karvelo-batch's".format(name),
              same_bytes(os.path.join(map_dir, name), os.path.join(ref_map, name)))
    check("map: outputs name the maps", results["MAP"] == os.path.join(map_dir, "AVGBayesP.asc")
          and results["SD_MAP"] == os.path.join(map_dir, "SDBayesP.asc"))
    check("map: the results load as layers",
          sorted(os.path.basename(p) for p in context.layersToLoadOnCompletion()) == ["AVGBayesP.asc", "SDBayesP.asc"])
    # The grey ramp of the pictures, over the map's own range as karvelo-batch info reads it.
    info = dict(line.split(": ", 1) for line in batch("--workdir", ref, "info", results["MAP"]).splitlines() if ": " in line)
    renderer = ET.parse(os.path.join(map_dir, "AVGBayesP.qml")).getroot().find("pipe/rasterrenderer")
    check("map: its style is the grey ramp, dark for high values",
          renderer.get("type") == "singlebandgray" and renderer.get("gradient") == "WhiteToBlack")
    check("map: the ramp spans the map's range",
          float(renderer.find("contrastEnhancement/minValue").text) == float(info["minvalue"])
          and float(renderer.find("contrastEnhancement/maxValue").text) == float(info["maxvalue"]))
    check("map: no info folder left behind", sorted(os.listdir(map_dir)) == sorted(os.listdir(ref_map) + [
        "AVGBayesP.qml", "SDBayesP.qml"]))

    # Validation from the points file: the same files as karvelo-batch's; from a point layer, the same AUC.
    val_dir, ref_val = os.path.join(work, "val"), os.path.join(ref, "val")
    points = E("validation.txt")
    results, context = run("karvelo:validate", {"MAP": os.path.join(map_dir, "AVGBayesP.asc"), "POINTS_FILE": points,
                                                "FINDS": "1", "BINARY": 1, "SEED": 7, "WORKDIR": val_dir})
    printed = batch("--workdir", ref_val, "--seed", "7", "validate", points, os.path.join(ref_map, "AVGBayesP.asc"),
                    "--finds", "1", "--binary", "youden")
    for name in ("ValDataComplete.txt", "ROC of AVGBayesP.asc.bmp", "Gain of AVGBayesP.asc.txt",
                 "Boyce of AVGBayesP.asc.txt", "Binary of AVGBayesP.asc"):
        check("validate: {} equals karvelo-batch's".format(name),
              same_bytes(os.path.join(val_dir, name), os.path.join(ref_val, name)))
    check("validate: the AUC is the printed one", "AUC (full precision) = %.6f" % results["AUC"] in printed)
    check("validate: DeLong's interval holds the AUC", results["AUC_LOWER"] <= results["AUC"] <= results["AUC_UPPER"])
    legend = ET.parse(os.path.join(val_dir, "Binary of AVGBayesP.qml")).getroot().find("pipe/rasterrenderer")
    check("validate: the binary map has a class legend of 0 and 1", legend.get("type") == "paletted" and
          [e.get("value") for e in legend.iter("paletteEntry")] == ["0", "1"])
    check("validate: the binary map loads as a layer", [os.path.basename(p) for p in context.layersToLoadOnCompletion()]
          == ["Binary of AVGBayesP.asc"])
    layer = QgsVectorLayer("file://{}?delimiter=;&xField=X&yField=Y&crs=EPSG:28992".format(points), "points", "delimitedtext")
    check("the points load as a layer", layer.isValid() and layer.featureCount() > 10)
    from_layer, _ = run("karvelo:validate", {"MAP": os.path.join(map_dir, "AVGBayesP.asc"), "POINTS": layer,
                                             "CODE_FIELD": "Val", "FINDS": "1", "BINARY": 0, "SEED": 7,
                                             "WORKDIR": os.path.join(work, "val-layer")})
    check("validate: a point layer gives the file's AUC", from_layer["AUC"] == results["AUC"])

    # Cancel during the uncertainty run: karvelo-batch is stopped, the earlier maps stay as they were,
    # no temporary file and no work folder are left.
    before = {n: sha(os.path.join(map_dir, n)) for n in ("AVGBayesP.asc", "SDBayesP.asc", "Karvelo.log")}
    feedback = Feedback()
    feedback.progressChanged.connect(lambda percent: percent > 0 and feedback.cancel())
    message = ""
    try:
        run("karvelo:map", {"CONFIG": os.path.join(plugin, "c.txt"), "PRIOR": 1, "UNCERTAINTY": True, "EVIDENCE": 0,
                            "WORKDIR": map_dir}, feedback)
    except (QgsProcessingException, RuntimeError) as e:
        message = str(e)
    check("cancel: the run was cancelled ({})".format(message), feedback.isCanceled() and "Cancelled" in message)
    check("cancel: the earlier results are as they were",
          all(sha(os.path.join(map_dir, n)) == h for n, h in before.items()))
    check("cancel: no temporary file is left", temporary_files(work) == [])
    check("cancel: no work folder is left", not os.path.exists(os.path.join(map_dir, "karvelo-work")))
    check("the example data stays as it was", sorted(os.listdir(EXAMPLES)) == examples_before)
    check("cancel: no result file is left", not any(n.startswith("karvelo-result-") for n in os.listdir(tempfile.gettempdir())))
finally:
    shutil.rmtree(work, ignore_errors=True)
    QgsApplication.processingRegistry().removeProvider(provider)

print("qgis: {} checks, {} failed".format(len(checked), len(failures)))
sys.exit(1 if failures else 0)
