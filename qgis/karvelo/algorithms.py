"""The Processing algorithms: each builds a karvelo-batch argument list and reads its result file."""

import json
import os
import shutil
import tempfile

from qgis.core import (
    QgsCoordinateTransform,
    QgsProcessing,
    QgsProcessingAlgorithm,
    QgsProcessingContext,
    QgsProcessingException,
    QgsProcessingOutputNumber,
    QgsProcessingOutputRasterLayer,
    QgsProcessingOutputString,
    QgsProcessingParameterBoolean,
    QgsProcessingParameterEnum,
    QgsProcessingParameterField,
    QgsProcessingParameterFile,
    QgsProcessingParameterFileDestination,
    QgsProcessingParameterFolderDestination,
    QgsProcessingParameterMultipleLayers,
    QgsProcessingParameterNumber,
    QgsProcessingParameterRasterLayer,
    QgsProcessingParameterString,
    QgsProcessingParameterVectorLayer,
    QgsRasterLayer,
    QgsSettings,
)

from . import runner, styles

PROPOSALS = [("rounded equal steps", ""), ("equal counts", "quantile"), ("logarithmic steps", "log"),
             ("natural breaks", "breaks")]
PRIORS = [("entered (the presence prior below)", "manual"), ("relative frequencies of the observations", "frequency"),
          ("after spatial declustering", "decluster")]
EVIDENCE = [("all classes", "all"), ("very weak and stronger", "vweak"), ("weak and stronger", "weak"),
            ("moderate and stronger", "mod"), ("strong and stronger", "strong"), ("very strong only", "vstrong")]
BINARY = [("none", None), ("Youden's J", "youden"), ("equal sensitivity and specificity", "equal"),
          ("maximum kappa", "kappa")]
RESAMPLING = ["near", "bilinear", "mode"]
SPLITS = ["random", "blocks"]


def seed_text(alg, parameters, context):
    """The seed as a whole number; read as a double, since seeds go beyond a C int."""
    return str(int(alg.parameterAsDouble(parameters, "SEED", context)))


def grid_path(layer):
    """The file behind a raster layer (GDAL sources may carry options after a '|')."""
    return layer.source().split("|")[0]


class KarveloAlgorithm(QgsProcessingAlgorithm):
    """What every Karvelo algorithm shares: the program, its progress and cancel, the result layers."""

    def group(self):
        return "Karvelo"

    def groupId(self):
        return "karvelo"

    def createInstance(self):
        return type(self)()

    def batch(self):
        try:
            return runner.find_batch(QgsSettings().value("karvelo/batch_path", "") or None)
        except runner.BatchError as e:
            raise QgsProcessingException(str(e))

    def run_batch(self, args, workdir, feedback):
        feedback.pushCommandInfo("karvelo-batch " + " ".join(str(a) for a in args))

        def progress(percent, text):
            feedback.setProgress(percent)
            if text:
                feedback.setProgressText(text)

        def message(kind, text):
            if kind == "information":
                feedback.pushInfo(text)
            else:
                feedback.reportError(text, fatalError=kind == "error")

        try:
            return runner.run_batch(self.batch(), args, workdir, progress, message, feedback.isCanceled)
        except runner.BatchError as e:
            raise QgsProcessingException(str(e))

    def load(self, context, path, name, output=None):
        details = QgsProcessingContext.LayerDetails(name, context.project(), output or name)
        context.addLayerToLoadOnCompletion(path, details)

    def grey_style(self, grid, workdir, feedback):
        """The map pictures' grey ramp over the grid's own range, from `info`'s typed fields."""
        # Its own folder, so that its log does not replace the run's.
        folder = tempfile.mkdtemp(prefix="karvelo-info-")
        try:
            info = self.run_batch(["info", grid], folder, feedback).results
        finally:
            shutil.rmtree(folder, ignore_errors=True)
        styles.write_beside(grid, styles.grey_ramp_qml(info["minvalue"], info["maxvalue"]))


class Configure(KarveloAlgorithm):
    def name(self):
        return "configure"

    def displayName(self):
        return "Make a data configuration"

    def shortHelpString(self):
        return ("Builds a data configuration from raster layers: one observation layer whose cells mark presences "
                "(and absences) by a value, and auxiliary layers divided into classes, by a proposal or by bounds "
                "you give. Layers that are no ASCII grid are imported; layers in another projection, extent or "
                "cell size are first aligned onto the observation layer's grid (karvelo-batch align), with a note.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterRasterLayer("OBSERVATION", "Observation layer"))
        self.addParameter(QgsProcessingParameterString("PRESENCE", "Value of presences", "1"))
        self.addParameter(QgsProcessingParameterString("ABSENCE", "Value of absences (empty: none observed)", "0",
                                                       optional=True))
        self.addParameter(QgsProcessingParameterMultipleLayers("AUXILIARY", "Auxiliary layers",
                                                               QgsProcessing.TypeRaster))
        self.addParameter(QgsProcessingParameterString(
            "CLASSES", "Classes per auxiliary layer (one number for all, or one per layer: 8,3,3)", "8"))
        self.addParameter(QgsProcessingParameterEnum("PROPOSAL", "Proposal of class bounds",
                                                     [p[0] for p in PROPOSALS], defaultValue=0))
        self.addParameter(QgsProcessingParameterString(
            "BOUNDS", "Class bounds per auxiliary layer, ';' between layers (1,2,3,4;;1,2,3,4; empty: proposed)",
            optional=True))
        self.addParameter(QgsProcessingParameterEnum("RESAMPLING", "Resampling when aligning", RESAMPLING,
                                                     defaultValue=0))
        self.addParameter(QgsProcessingParameterFolderDestination("WORKDIR", "Folder for aligned grids and the log"))
        self.addParameter(QgsProcessingParameterFileDestination("OUTPUT", "Configuration file",
                                                                "Configuration (*.txt)"))

    def prepared_grid(self, layer, reference, reference_grid, workdir, method, feedback):
        """The layer's grid as an ASCII grid on the reference's cells: as it is, imported or aligned."""
        path = grid_path(layer)
        stem = os.path.splitext(os.path.basename(path))[0]
        same_cells = reference is None or (
            layer.crs() == reference.crs() and layer.width() == reference.width()
            and layer.height() == reference.height()
            and abs(layer.rasterUnitsPerPixelX() - reference.rasterUnitsPerPixelX()) < 1e-9 * reference.rasterUnitsPerPixelX()
            and layer.extent() == reference.extent())
        if not same_cells:
            target = os.path.join(workdir, stem + "-aligned.asc")
            feedback.pushInfo("{} differs from the observation layer in projection, extent or cell size: aligned "
                              "onto its grid as {}".format(layer.name(), target))
            self.run_batch(["align", "--like", reference_grid, path, "-o", target, "--resampling", method], workdir,
                           feedback)
            return target
        if not path.lower().endswith(".asc"):
            target = os.path.join(workdir, stem + ".asc")
            self.run_batch(["import", path, "-o", target], workdir, feedback)
            return target
        return path

    def processAlgorithm(self, parameters, context, feedback):
        obs = self.parameterAsRasterLayer(parameters, "OBSERVATION", context)
        aux = [layer for layer in self.parameterAsLayerList(parameters, "AUXILIARY", context)
               if isinstance(layer, QgsRasterLayer)]
        workdir = self.parameterAsString(parameters, "WORKDIR", context)
        output = self.parameterAsFileOutput(parameters, "OUTPUT", context)
        method = RESAMPLING[self.parameterAsEnum(parameters, "RESAMPLING", context)]
        proposal = PROPOSALS[self.parameterAsEnum(parameters, "PROPOSAL", context)][1]
        counts = [c.strip() for c in self.parameterAsString(parameters, "CLASSES", context).split(",") if c.strip()]
        bounds = (self.parameterAsString(parameters, "BOUNDS", context) or "").split(";")
        if len(counts) not in (1, len(aux)):
            raise QgsProcessingException("Classes: give one number for all auxiliary layers or one per layer "
                                         "({} layers, {} numbers)".format(len(aux), len(counts)))
        os.makedirs(workdir, exist_ok=True)
        reference_grid = self.prepared_grid(obs, None, None, workdir, method, feedback)
        presence = self.parameterAsString(parameters, "PRESENCE", context).strip() or "-"
        absence = (self.parameterAsString(parameters, "ABSENCE", context) or "").strip() or "-"
        args = ["config", "-o", output, "--obs", "{}:{}:{}".format(reference_grid, presence, absence)]
        for i, layer in enumerate(aux):
            grid = self.prepared_grid(layer, obs, reference_grid, workdir, method, feedback)
            given = bounds[i].strip() if i < len(bounds) else ""
            if given:
                args += ["--aux", "{}:{}".format(grid, given)]
            else:
                count = counts[i] if len(counts) > 1 else counts[0]
                args += ["--aux", "{}:{}".format(grid, count) + (":" + proposal if proposal else "")]
        self.run_batch(args, workdir, feedback)
        return {"OUTPUT": output, "WORKDIR": workdir}


class Audit(KarveloAlgorithm):
    def name(self):
        return "audit"

    def displayName(self):
        return "Audit a data configuration"

    def shortHelpString(self):
        return ("Counts cells, presences and absences per class of every auxiliary grid and tests each grid's "
                "presences and absences over its classes (chi-squared goodness of fit). The counts and tests "
                "come back as JSON (RESULTS) and are listed in the log.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterFile("CONFIG", "Configuration file", extension="txt"))
        self.addParameter(QgsProcessingParameterFolderDestination("WORKDIR", "Folder for the log"))
        self.addOutput(QgsProcessingOutputString("RESULTS", "Counts and tests (JSON)"))

    def processAlgorithm(self, parameters, context, feedback):
        workdir = self.parameterAsString(parameters, "WORKDIR", context)
        run = self.run_batch(["audit", self.parameterAsFile(parameters, "CONFIG", context)], workdir, feedback)
        for test in run.results.get("tests", []):
            for kind in ("presences", "absences"):
                t = test.get(kind)
                if t:
                    feedback.pushInfo("{} {}: chi-squared {:.3f}, df {}, significant at {}".format(
                        test["grid"], kind, t["chi2"], t["df"], t["significance"]))
        return {"RESULTS": json.dumps(run.results), "WORKDIR": workdir}


class Map(KarveloAlgorithm):
    def name(self):
        return "map"

    def displayName(self):
        return "Map Bayesian probability"

    def shortHelpString(self):
        return ("Audits the configuration, submits it and maps the naive-Bayes probability: the plain map "
                "(BayesP.asc) or the uncertainty run's mean and standard-deviation maps (AVGBayesP.asc, "
                "SDBayesP.asc) from bootstrap samples, filtered by an evidence level. The priors are entered, "
                "taken from the observations' relative frequencies or found after spatial declustering. The maps "
                "are loaded with the grey ramp of Karvelo's pictures; a seed makes a run repeatable.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterFile("CONFIG", "Configuration file", extension="txt"))
        self.addParameter(QgsProcessingParameterEnum("PRIOR", "Priors", [p[0] for p in PRIORS], defaultValue=0))
        self.addParameter(QgsProcessingParameterNumber("PRIOR_P", "Prior of presence (entered priors)",
                                                       QgsProcessingParameterNumber.Double, 0.5, False, 0.0, 1.0))
        self.addParameter(QgsProcessingParameterBoolean("UNCERTAINTY", "Uncertainty run (bootstrap samples)", True))
        self.addParameter(QgsProcessingParameterEnum("EVIDENCE", "Evidence level of the uncertainty run",
                                                     [e[0] for e in EVIDENCE], defaultValue=0))
        self.addParameter(QgsProcessingParameterBoolean("GEOTIFF", "Also write GeoTIFFs", False))
        self.addParameter(QgsProcessingParameterNumber("SEED", "Seed of the random generator (empty: the clock)",
                                                       QgsProcessingParameterNumber.Integer, None, True, 0,
                                                       4294967295))
        self.addParameter(QgsProcessingParameterFolderDestination("WORKDIR", "Folder for the results"))
        self.addOutput(QgsProcessingOutputRasterLayer("MAP", "Probability map"))
        self.addOutput(QgsProcessingOutputRasterLayer("SD_MAP", "Standard deviations"))
        self.addOutput(QgsProcessingOutputNumber("PRIOR_PRESENCE", "Prior of presence used"))
        self.addOutput(QgsProcessingOutputString("RESULTS", "Priors, weights and tests (JSON)"))

    def processAlgorithm(self, parameters, context, feedback):
        workdir = self.parameterAsString(parameters, "WORKDIR", context)
        prior = PRIORS[self.parameterAsEnum(parameters, "PRIOR", context)][1]
        uncertainty = self.parameterAsBoolean(parameters, "UNCERTAINTY", context)
        args = ["map", self.parameterAsFile(parameters, "CONFIG", context), "--prior", prior]
        if prior == "manual":
            args += ["--prior-p", repr(self.parameterAsDouble(parameters, "PRIOR_P", context))]
        args.append("--uncertainty" if uncertainty else "--no-uncertainty")
        args += ["--evidence", EVIDENCE[self.parameterAsEnum(parameters, "EVIDENCE", context)][1]]
        if self.parameterAsBoolean(parameters, "GEOTIFF", context):
            args.append("--geotiff")
        if parameters.get("SEED") is not None:
            args = ["--seed", seed_text(self, parameters, context)] + args
        run = self.run_batch(args, workdir, feedback)
        outputs = {"WORKDIR": workdir, "RESULTS": json.dumps(run.results),
                   "PRIOR_PRESENCE": run.results.get("priors", {}).get("presence")}
        for path in run.files:
            name = os.path.basename(path)
            if not name.endswith(".asc"):
                continue
            self.grey_style(path, workdir, feedback)
            key = {"BayesP.asc": "MAP", "AVGBayesP.asc": "MAP", "SDBayesP.asc": "SD_MAP"}.get(name)
            if key:
                outputs[key] = path
            self.load(context, path, os.path.splitext(name)[0], key)
        return outputs


class Validate(KarveloAlgorithm):
    def name(self):
        return "validate"

    def displayName(self):
        return "Validate a map with independent points"

    def shortHelpString(self):
        return ("Looks the map up at independent points (a point layer with a code field, or a text file of "
                "x;y;code records) and gives the ROC's AUC with DeLong's and the bootstrap's 95% intervals, the "
                "gain, the threshold table, the Boyce index and the prediction-area intersection. With a "
                "configuration the thresholds at its training presences are added; a binary map can be written "
                "at a threshold (loaded with a class legend).")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterRasterLayer("MAP", "Probability map"))
        self.addParameter(QgsProcessingParameterVectorLayer("POINTS", "Validation points (layer)",
                                                            [QgsProcessing.TypeVectorPoint], optional=True))
        self.addParameter(QgsProcessingParameterField("CODE_FIELD", "Field of the codes", parentLayerParameterName="POINTS",
                                                      optional=True))
        self.addParameter(QgsProcessingParameterFile("POINTS_FILE", "Validation points (x;y;code text file)",
                                                     optional=True))
        self.addParameter(QgsProcessingParameterString("FINDS", "Code of finds", "1"))
        self.addParameter(QgsProcessingParameterFile("CONFIG", "Configuration (thresholds at training presences)",
                                                     extension="txt", optional=True))
        self.addParameter(QgsProcessingParameterEnum("BINARY", "Binary map at", [b[0] for b in BINARY], defaultValue=0))
        self.addParameter(QgsProcessingParameterNumber("SEED", "Seed of the bootstrap interval (empty: the clock)",
                                                       QgsProcessingParameterNumber.Integer, None, True, 0,
                                                       4294967295))
        self.addParameter(QgsProcessingParameterFolderDestination("WORKDIR", "Folder for the results"))
        self.addOutput(QgsProcessingOutputNumber("AUC", "AUC"))
        self.addOutput(QgsProcessingOutputNumber("AUC_LOWER", "AUC, DeLong's lower 95% bound"))
        self.addOutput(QgsProcessingOutputNumber("AUC_UPPER", "AUC, DeLong's upper 95% bound"))
        self.addOutput(QgsProcessingOutputNumber("BOYCE", "Boyce index"))
        self.addOutput(QgsProcessingOutputRasterLayer("BINARY_MAP", "Binary map"))
        self.addOutput(QgsProcessingOutputString("RESULTS", "Statistics (JSON)"))

    def points_file(self, layer, field, map_layer, workdir):
        """The layer's points in the map's projection as x;y;code records."""
        if not field:
            raise QgsProcessingException("Choose the field of the codes of {}".format(layer.name()))
        transform = QgsCoordinateTransform(layer.crs(), map_layer.crs(), layer.transformContext()) \
            if layer.crs().isValid() and map_layer.crs().isValid() and layer.crs() != map_layer.crs() else None
        path = os.path.join(workdir, "Validation points of {}.txt".format(layer.name()))
        with open(path + ".part", "w", encoding="utf-8", newline="") as f:
            f.write("X;Y;{}\r\n".format(field))
            for feature in layer.getFeatures():
                geometry = feature.geometry()
                if geometry.isEmpty():
                    continue
                point = geometry.asPoint() if not geometry.isMultipart() else geometry.asMultiPoint()[0]
                if transform:
                    point = transform.transform(point)
                code = feature[field]
                f.write("{!r};{!r};{}\r\n".format(point.x(), point.y(), code))
        os.replace(path + ".part", path)
        return path

    def processAlgorithm(self, parameters, context, feedback):
        workdir = self.parameterAsString(parameters, "WORKDIR", context)
        os.makedirs(workdir, exist_ok=True)
        map_layer = self.parameterAsRasterLayer(parameters, "MAP", context)
        layer = self.parameterAsVectorLayer(parameters, "POINTS", context)
        points = self.parameterAsFile(parameters, "POINTS_FILE", context)
        if layer is not None:
            points = self.points_file(layer, self.parameterAsString(parameters, "CODE_FIELD", context), map_layer,
                                      workdir)
        elif not points:
            raise QgsProcessingException("Give the validation points: a point layer or a points file")
        args = ["validate", points, grid_path(map_layer), "--finds", self.parameterAsString(parameters, "FINDS", context)]
        config = self.parameterAsFile(parameters, "CONFIG", context)
        if config:
            args += ["--config", config]
        binary = BINARY[self.parameterAsEnum(parameters, "BINARY", context)][1]
        if binary:
            args += ["--binary", binary]
        if parameters.get("SEED") is not None:
            args = ["--seed", seed_text(self, parameters, context)] + args
        run = self.run_batch(args, workdir, feedback)
        r = run.results
        delong = r.get("delong") or {}
        outputs = {"WORKDIR": workdir, "RESULTS": json.dumps(r), "AUC": r.get("auc"), "BOYCE": r.get("boyce"),
                   "AUC_LOWER": delong.get("lower"), "AUC_UPPER": delong.get("upper")}
        if r.get("auc") is not None:
            feedback.pushInfo("AUC {:.4f}, DeLong's 95% interval [{:.4f}, {:.4f}]".format(
                r["auc"], delong.get("lower", float("nan")), delong.get("upper", float("nan"))))
        for path in run.files:
            if os.path.basename(path).startswith("Binary of ") and path.endswith(".asc"):
                styles.write_beside(path, styles.binary_legend(r["binaryThreshold"]))
                outputs["BINARY_MAP"] = path
                self.load(context, path, os.path.splitext(os.path.basename(path))[0], "BINARY_MAP")
        return outputs


class CrossValidate(KarveloAlgorithm):
    def name(self):
        return "crossvalidate"

    def displayName(self):
        return "Cross-validate a data configuration"

    def shortHelpString(self):
        return ("Splits the observations into folds (at random, or in spatial blocks of cells), maps each fold's "
                "complement and validates it on the fold (karvelo-batch cv). The statistics come back as JSON.")

    def initAlgorithm(self, config=None):
        self.addParameter(QgsProcessingParameterFile("CONFIG", "Configuration file", extension="txt"))
        self.addParameter(QgsProcessingParameterNumber("FOLDS", "Folds", QgsProcessingParameterNumber.Integer, 5,
                                                       False, 2, 100))
        self.addParameter(QgsProcessingParameterEnum("SPLIT", "Split", SPLITS, defaultValue=0))
        self.addParameter(QgsProcessingParameterNumber("BLOCK_SIZE", "Block size in cells (blocks)",
                                                       QgsProcessingParameterNumber.Integer, None, True, 1))
        self.addParameter(QgsProcessingParameterNumber("SEED", "Seed (empty: the clock)",
                                                       QgsProcessingParameterNumber.Integer, None, True, 0,
                                                       4294967295))
        self.addParameter(QgsProcessingParameterFolderDestination("WORKDIR", "Folder for the results"))
        self.addOutput(QgsProcessingOutputString("RESULTS", "Statistics (JSON)"))

    def processAlgorithm(self, parameters, context, feedback):
        if "cv" not in runner.batch_commands(self.batch()):
            raise QgsProcessingException("This karvelo-batch has no cv command (karvelo-batch --help does not "
                                         "list it): install a newer Karvelo for cross-validation")
        workdir = self.parameterAsString(parameters, "WORKDIR", context)
        args = ["cv", self.parameterAsFile(parameters, "CONFIG", context),
                "--folds", str(self.parameterAsInt(parameters, "FOLDS", context)),
                "--split", SPLITS[self.parameterAsEnum(parameters, "SPLIT", context)]]
        if parameters.get("BLOCK_SIZE") is not None:
            args += ["--block-size", str(self.parameterAsInt(parameters, "BLOCK_SIZE", context))]
        if parameters.get("SEED") is not None:
            args += ["--seed", seed_text(self, parameters, context)]
        run = self.run_batch(args, workdir, feedback)
        if run.results and run.results.get("meanAuc") is not None:
            feedback.pushInfo("Cross-validation AUC: mean %.3f over %d folds" % (run.results["meanAuc"], run.results["folds"]))
        for path in run.files:
            if path.endswith(".asc"):
                self.grey_style(path, workdir, feedback)
                self.load(context, path, os.path.splitext(os.path.basename(path))[0])
        return {"WORKDIR": workdir, "RESULTS": json.dumps(run.results)}
