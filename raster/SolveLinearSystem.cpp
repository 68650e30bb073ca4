#include "raster/SolveLinearSystem.h"

#include <cmath>
#include <utility>

namespace {

constexpr double kTiny = 1e-12;

// A later row becomes the pivot only when strictly larger, so ties keep the
// first candidate.
int PivotRow(int n, const double* a, int j)
{
    const int columns = n + 1;
    int best = j;
    for (int r = j + 1; r < n; ++r) {
        if (std::fabs(a[r * columns + j]) > std::fabs(a[best * columns + j]))
            best = r;
    }
    return best;
}

// Divides by the pivot; a vanishing pivot marks the system indefinite and is
// replaced by 1e-12 (a zero numerator gives 1) so the elimination can go on.
double Quotient(double numerator, double pivot, bool& indefinite)
{
    if (std::fabs(pivot) >= kTiny)
        return numerator / pivot;
    indefinite = true;
    return numerator == 0.0 ? 1.0 : numerator / kTiny;
}

} // namespace

bool SolveLinearSystem(int n, double* a, double* x)
{
    const int columns = n + 1;
    bool indefinite = false;
    for (int j = 0; j + 1 < n; ++j) {
        const int r = PivotRow(n, a, j);
        if (r != j) {
            for (int m = j; m <= n; ++m)
                std::swap(a[j * columns + m], a[r * columns + m]);
        }
        for (int k = j + 1; k < n; ++k) {
            const double factor = Quotient(a[k * columns + j], a[j * columns + j], indefinite);
            for (int m = j + 1; m <= n; ++m)
                a[k * columns + m] -= factor * a[j * columns + m];
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        double s = a[i * columns + n];
        for (int m = i + 1; m < n; ++m)
            s -= a[i * columns + m] * x[m];
        x[i] = Quotient(s, a[i * columns + i], indefinite);
    }
    return indefinite;
}
