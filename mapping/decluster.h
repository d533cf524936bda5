// Spatial declustering: every cell takes the kind of its nearest observation, as the ring search finds it.
#pragma once

#include <cstdint>

#include "core/byteraster.h"
#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo {

// For every cell of an ncols x nrows grid, the kind of the observation the ring search finds:
// a cell with an observation keeps its own kind (a presence wins over an absence there); any other
// cell searches square rings outward, tests each ring's left and right columns row by row and
// then its top and bottom rows column by column, keeps the strictly nearest observation
// (Euclidean, the first tested among equals), and stops three rings after its first hit. At the
// found cell an absence wins over a presence. Writes 1 (presence) or 0 (absence) into `out` for
// the grid's cells and leaves other bytes alone. Returns false, writing nothing, when the grid
// holds no observation.
//
// Correctness: the nearest observation by Chebyshev distance (k0) is 1-Lipschitz from cell to
// cell, so it is found from the neighbour's with at most three ring tests; only rings k0..k0+3
// can hold the answer, and within each side of a ring only the observation nearest to the
// cell's row (or column) can win, with ties going to the one tested first. Each side is answered
// from sorted per-row and per-column lists of the observations. The tests compare this with the
// ring search itself on many random grids.
bool DeclusterKinds(const ByteRaster& presence, const ByteRaster& absence, int ncols, int nrows, ByteRaster& out,
                    Shell& shell);

// The whole declustering step: loads "InsideMap.bin", "Negatives.bin" and "Positives.bin",
// declusters, writes "Declus.bin" (registered) and "Declus.asc", and sets PriorP and PriorA from
// the share of declustered presence cells inside the mapped area. Returns false after a message
// when the grid holds no observation or the mapped area no cell (the priors then stay as they were).
bool Decluster(Workspace& ws, Shell& shell);

}  // namespace karvelo
