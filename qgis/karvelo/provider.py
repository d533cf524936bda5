"""The "Karvelo" Processing provider; cross-validation only when karvelo-batch has its cv command."""

import os

from qgis.core import QgsProcessingProvider, QgsSettings
from qgis.PyQt.QtGui import QIcon

from . import algorithms, runner


class KarveloProvider(QgsProcessingProvider):
    def id(self):
        return "karvelo"

    def name(self):
        return "Karvelo"

    def longName(self):
        return "Karvelo: naive-Bayes probability maps"

    def icon(self):
        # Installed, the program's icon lies beside the plugin; in a source tree it is the packaging's.
        here = os.path.dirname(os.path.abspath(__file__))
        for path in (os.path.join(here, "icon.svg"),
                     os.path.join(here, os.pardir, os.pardir, "packaging", "org.karvelo.Karvelo.svg")):
            if os.path.isfile(path):
                return QIcon(path)
        return QgsProcessingProvider.icon(self)

    def loadAlgorithms(self):
        for alg in (algorithms.Configure, algorithms.Audit, algorithms.Map, algorithms.Validate):
            self.addAlgorithm(alg())
        try:
            batch = runner.find_batch(QgsSettings().value("karvelo/batch_path", "") or None)
        except runner.BatchError:
            return  # the other algorithms say so when they run
        if "cv" in runner.batch_commands(batch):
            self.addAlgorithm(algorithms.CrossValidate())
