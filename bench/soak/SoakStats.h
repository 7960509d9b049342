// SPDX-License-Identifier: MIT
#pragma once
// Figures over the soak's samples.
#include <vector>

// The p-th fraction of v (0.5: the median), -1 when there is none.
double Percentile(std::vector<double> v, double p);
double Max(const std::vector<double>& v);
std::vector<double> Joined(const std::vector<std::vector<double>>& parts);
