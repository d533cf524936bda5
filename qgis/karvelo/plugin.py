"""Registers the Karvelo provider with Processing while the plugin is loaded."""

from qgis.core import QgsApplication


class KarveloPlugin:
    def __init__(self, iface):
        self.iface = iface
        self.provider = None

    def initProcessing(self):
        from .provider import KarveloProvider
        self.provider = KarveloProvider()
        QgsApplication.processingRegistry().addProvider(self.provider)

    def initGui(self):
        self.initProcessing()

    def unload(self):
        if self.provider is not None:
            QgsApplication.processingRegistry().removeProvider(self.provider)
            self.provider = None
