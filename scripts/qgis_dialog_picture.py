"""Takes the guide's picture of the plugin's map dialog (run by scripts/screenshot-qgis.sh under Xvfb).

usage: python3 qgis_dialog_picture.py PLUGIN_PARENT CONFIG OUT.png"""

import sys

from qgis.core import QgsApplication
from qgis.PyQt.QtCore import QTimer

app = QgsApplication([], True)
app.setPrefixPath("/usr", True)
app.initQgis()
sys.path.append("/usr/share/qgis/python/plugins")  # QGIS's own Processing plugin
sys.path.insert(0, sys.argv[1])
from processing.core.Processing import Processing  # noqa: E402
from processing.gui.AlgorithmDialog import AlgorithmDialog  # noqa: E402

Processing.initialize()
from karvelo.provider import KarveloProvider  # noqa: E402

provider = KarveloProvider()
QgsApplication.processingRegistry().addProvider(provider)
dialog = AlgorithmDialog(QgsApplication.processingRegistry().createAlgorithmById("karvelo:map"))
# The demo's configuration with priors from the observations: the run the guide describes.
dialog.mainWidget().setParameters({"CONFIG": sys.argv[2], "PRIOR": 1})
dialog.resize(900, 640)
dialog.show()


def grab():
    dialog.grab().save(sys.argv[3])
    app.quit()


QTimer.singleShot(1500, grab)
app.exec_()
