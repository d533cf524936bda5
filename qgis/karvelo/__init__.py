"""The Karvelo plugin: a Processing provider whose algorithms run karvelo-batch."""


def classFactory(iface):
    from .plugin import KarveloPlugin
    return KarveloPlugin(iface)
