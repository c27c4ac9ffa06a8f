#include "machine/exact_return.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>

namespace jackwell::machine {

namespace {

constexpr int kHoldChoices = 8; // a reel held or not, for each of three

HoldMask holdsOf(int bits) {
    return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
}

int bitsOf(const HoldMask& holds) {
    return (holds[0] ? 1 : 0) | (holds[1] ? 2 : 0) | (holds[2] ? 4 : 0);
}

// Mean and second moment of what the final draw pays, the reels of `heldBits` kept at `first`
// (symbol indices from 0) and the others drawn anew, every outcome weighed by its likelihood.
HoldValue valueOf(const std::vector<double>& paid, const std::vector<qint64>& weights,
                  const std::array<int, kReelCount>& first, int heldBits) {
    const int symbols = int(weights.size());
    std::array<int, kReelCount> from{};
    std::array<int, kReelCount> to{};
    for (int reel = 0; reel < kReelCount; ++reel) {
        const bool held = (heldBits >> reel & 1) != 0;
        from[reel] = held ? first[reel] : 0;
        to[reel] = held ? first[reel] + 1 : symbols;
    }
    auto weightOf = [&](int reel, int symbol) {
        return (heldBits >> reel & 1) != 0 ? 1.0 : double(weights[symbol]);
    };
    double total = 0;
    double sum = 0;
    double sumOfSquares = 0;
    for (int a = from[0]; a < to[0]; ++a) {
        for (int b = from[1]; b < to[1]; ++b) {
            const double ab = weightOf(0, a) * weightOf(1, b);
            const double* row = &paid[std::size_t((a * symbols + b) * symbols)];
            for (int c = from[2]; c < to[2]; ++c) {
                const double weight = ab * weightOf(2, c);
                total += weight;
                sum += weight * row[c];
                sumOfSquares += weight * row[c] * row[c];
            }
        }
    }
    const double mean = sum / total;
    return {holdsOf(heldBits), {mean, std::max(0.0, sumOfSquares / total - mean * mean)}};
}

void addWeighted(double probability, const PayDistribution& pays, double& mean, double& square) {
    mean += probability * pays.meanTokens;
    square += probability * (pays.varianceTokens + pays.meanTokens * pays.meanTokens);
}

} // namespace

DrawRules machineDrawRules() {
    // MachineKeeper draws every reel's symbol uniformly from 1..kSymbolCount.
    return {std::vector<qint64>(kSymbolCount, 1), tokensWon, kGameCost * kTokensPerCredit};
}

HoldValueTable::HoldValueTable(const DrawRules& rules)
    : symbols_(int(rules.symbolWeights.size()))
    , stakeTokens_(rules.stakeTokens)
    , weights_(rules.symbolWeights) {
    const int n = symbols_;
    std::vector<double> paid(std::size_t(n * n * n));
    for (int a = 0; a < n; ++a) {
        for (int b = 0; b < n; ++b) {
            for (int c = 0; c < n; ++c)
                paid[std::size_t((a * n + b) * n + c)] =
                    double(rules.tokensPaid({a + 1, b + 1, c + 1}));
        }
    }
    byFirstDraw_.resize(paid.size());
    for (std::size_t index = 0; index < paid.size(); ++index) {
        const std::array<int, kReelCount> first{int(index) / (n * n), int(index) / n % n,
                                                int(index) % n};
        for (int bits = 0; bits < kHoldChoices; ++bits)
            byFirstDraw_[index][bits] = valueOf(paid, weights_, first, bits);
    }
}

bool HoldValueTable::isDraw(const ReelCodes& codes) const {
    return std::ranges::all_of(codes, [&](int code) { return code >= 1 && code <= symbols_; });
}

std::size_t HoldValueTable::firstDrawIndex(const ReelCodes& codes) const {
    return std::size_t(((codes[0] - 1) * symbols_ + codes[1] - 1) * symbols_ + codes[2] - 1);
}

std::optional<std::array<HoldValue, 8>> HoldValueTable::choices(const ReelCodes& firstDraw) const {
    if (!isDraw(firstDraw))
        return std::nullopt;
    std::array<HoldValue, kHoldChoices> sorted = byFirstDraw_[firstDrawIndex(firstDraw)];
    std::ranges::stable_sort(sorted, {}, [](const HoldValue& choice) {
        return std::popcount(unsigned(bitsOf(choice.holds)));
    });
    std::ranges::stable_sort(sorted, std::greater<>(),
                             [](const HoldValue& choice) { return choice.pays.meanTokens; });
    return sorted;
}

const HoldValue* HoldValueTable::value(const ReelCodes& firstDraw, const HoldMask& holds) const {
    if (!isDraw(firstDraw))
        return nullptr;
    return &byFirstDraw_[firstDrawIndex(firstDraw)][bitsOf(holds)];
}

ExactReturn HoldValueTable::exactReturn() const {
    const double total = double(std::accumulate(weights_.begin(), weights_.end(), qint64(0)));
    double bestMean = 0, bestSquare = 0, noneMean = 0, noneSquare = 0;
    for (int a = 1; a <= symbols_; ++a) {
        for (int b = 1; b <= symbols_; ++b) {
            for (int c = 1; c <= symbols_; ++c) {
                const double probability = double(weights_[a - 1]) * double(weights_[b - 1]) *
                                           double(weights_[c - 1]) / (total * total * total);
                const auto choices = *this->choices({a, b, c});
                addWeighted(probability, choices.front().pays, bestMean, bestSquare);
                addWeighted(probability, value({a, b, c}, {})->pays, noneMean, noneSquare);
            }
        }
    }
    return {stakeTokens_,
            {bestMean, std::max(0.0, bestSquare - bestMean * bestMean)},
            {noneMean, std::max(0.0, noneSquare - noneMean * noneMean)}};
}

ExactReturn exactReturn(const DrawRules& rules) {
    return HoldValueTable(rules).exactReturn();
}

const HoldValueTable& machineHoldValues() {
    static const HoldValueTable table(machineDrawRules());
    return table;
}

ReturnBand returnBand(const PayDistribution& pays, qint64 stakeTokens, qint64 games) {
    ReturnBand band;
    if (stakeTokens <= 0)
        return band;
    band.expected = pays.meanTokens / double(stakeTokens);
    if (games > 0)
        band.halfWidth =
            ReturnBand::kZ * std::sqrt(pays.varianceTokens / double(games)) / double(stakeTokens);
    return band;
}

} // namespace jackwell::machine
