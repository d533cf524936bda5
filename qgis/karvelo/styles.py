"""The .qml styles written beside each result grid: the maps' grey ramp and a class legend."""

import os
from xml.sax.saxutils import quoteattr

_HEAD = "<!DOCTYPE qgis PUBLIC 'http://mrcc.com/qgis.dtd' 'SYSTEM'>\n<qgis version=\"3.22\" styleCategories=\"AllStyleCategories\">\n <pipe>\n"
_TAIL = " </pipe>\n</qgis>\n"


def _number(v):
    return repr(float(v))  # "." whatever the locale, and every digit


def grey_ramp_qml(vmin, vmax):
    """The ramp of Karvelo's map pictures: white at the lowest value, black at the highest."""
    return (_HEAD +
            '  <rasterrenderer type="singlebandgray" grayBand="1" gradient="WhiteToBlack" opacity="1" alphaBand="-1">\n'
            "   <contrastEnhancement>\n"
            "    <minValue>{}</minValue>\n    <maxValue>{}</maxValue>\n"
            "    <algorithm>StretchToMinimumMaximum</algorithm>\n"
            "   </contrastEnhancement>\n"
            "  </rasterrenderer>\n".format(_number(vmin), _number(vmax)) + _TAIL)


# Distinct colours for up to 20 classes, then repeated.
_PALETTE = ["#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2", "#7f7f7f",
            "#bcbd22", "#17becf", "#aec7e8", "#ffbb78", "#98df8a", "#ff9896", "#c5b0d5", "#c49c94",
            "#f7b6d2", "#c7c7c7", "#dbdb8d", "#9edae5"]


def class_legend_qml(classes):
    """A paletted legend: `classes` is a list of (value, label) pairs, each value one class."""
    entries = "".join(
        '    <paletteEntry value="{}" color="{}" alpha="255" label={}/>\n'.format(
            int(value), _PALETTE[i % len(_PALETTE)] if len(classes) > 2 else ("#ffffff", "#000000")[i], quoteattr(label))
        for i, (value, label) in enumerate(classes))
    return (_HEAD + '  <rasterrenderer type="paletted" band="1" opacity="1" alphaBand="-1">\n'
            "   <colorPalette>\n" + entries + "   </colorPalette>\n  </rasterrenderer>\n" + _TAIL)


def write_beside(grid, qml):
    """Writes the style as <grid without extension>.qml, the name QGIS loads as the grid's default style."""
    path = os.path.splitext(grid)[0] + ".qml"
    temp = path + ".part"
    with open(temp, "w", encoding="utf-8") as f:
        f.write(qml)
    os.replace(temp, path)
    return path


def binary_legend(threshold):
    return class_legend_qml([(0, "below {:g}".format(threshold)), (1, "at or above {:g}".format(threshold))])
