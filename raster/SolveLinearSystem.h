#pragma once

// Solves the n × n system held as an augmented n × (n + 1) matrix in row
// order (changed in place) by Gaussian elimination with partial pivoting.
// Writes n values to `solution`. Returns true when the system is indefinite
// (a pivot below 1e-12); the solution is then meaningless.
bool SolveLinearSystem(int n, double* matrix, double* solution);
