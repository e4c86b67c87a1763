// Blocks made to meet the message conditions of chosen disturbance vectors,
// so that the collision check must confirm them: the conditions are linear
// in the block's 512 bits, so a set of bits to flip is found by Gaussian
// elimination over GF(2).
#pragma once

#include <bitset>
#include <cstdint>
#include <vector>

#include "sha1/collision/disturbance_vectors.h"

class BlockForcer {
public:
    BlockForcer() : rows_(80 * 32)
    {
        // Bit k of W[t] as a sum of message bits: W[t] = rotl1(W[t-3] ^ W[t-8]
        // ^ W[t-14] ^ W[t-16]), so its bit k is the XOR of their bits k - 1.
        for (int t = 0; t < 16; ++t) {
            for (int k = 0; k < 32; ++k) row(t, k).set(static_cast<std::size_t>(32 * t + k));
        }
        for (int t = 16; t < 80; ++t) {
            for (int k = 0; k < 32; ++k) {
                const int from = (k + 31) % 32;
                row(t, k) =
                    row(t - 3, from) ^ row(t - 8, from) ^ row(t - 14, from) ^ row(t - 16, from);
            }
        }
    }

    // Flips bits of the 16 words so that, for every vector in `vectors` that
    // can be added without contradicting the ones before it, all conditions
    // hold; returns the vectors' indexes that hold.
    std::vector<int> force(std::uint32_t (&words)[16], const std::vector<int>& vectors) const
    {
        std::uint32_t W[80];
        for (int t = 0; t < 16; ++t) W[t] = words[t];
        for (int t = 16; t < 80; ++t) {
            const std::uint32_t x = W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16];
            W[t] = x << 1 | x >> 31;
        }
        std::vector<Equation> system;
        std::vector<int> met;
        for (int v : vectors) {
            std::vector<Equation> trial = system;
            const sha1_disturbance_vector& dv = sha1_disturbance_vectors[v];
            bool consistent = true;
            for (int n = 0; n < dv.condition_count && consistent; ++n) {
                const sha1_dv_condition& c = sha1_dv_conditions[dv.first_condition + n];
                const bool now = (((W[c.a] >> c.i) ^ (W[c.b] >> c.j)) & 1) != 0;
                consistent = add(trial, {row(c.a, c.i) ^ row(c.b, c.j), now != (c.v != 0), -1});
            }
            if (consistent) {
                system = trial;
                met.push_back(v);
            }
        }
        // Reduced: each pivot column appears in its own row alone.
        for (const Equation& e : system) {
            if (!e.rhs) continue;
            const int pivot = e.pivot;
            words[pivot / 32] ^= std::uint32_t{1} << (pivot % 32);
        }
        return met;
    }

private:
    struct Equation {
        std::bitset<512> row;
        bool rhs;
        int pivot = -1;  // its column, which no other row of the system has
    };

    static int first_bit(const std::bitset<512>& b)
    {
        for (int i = 0; i < 512; ++i) {
            if (b[static_cast<std::size_t>(i)]) return i;
        }
        return -1;
    }

    // Adds an equation to a reduced system; false if it contradicts it.
    static bool add(std::vector<Equation>& system, Equation e)
    {
        for (const Equation& p : system) {
            if (e.row[static_cast<std::size_t>(p.pivot)]) {
                e.row ^= p.row;
                e.rhs = e.rhs != p.rhs;
            }
        }
        if (e.row.none()) return !e.rhs;
        e.pivot = first_bit(e.row);
        for (Equation& p : system) {
            if (p.row[static_cast<std::size_t>(e.pivot)]) {
                p.row ^= e.row;
                p.rhs = p.rhs != e.rhs;
            }
        }
        system.push_back(e);
        return true;
    }

    std::bitset<512>& row(int t, int k) { return rows_[static_cast<std::size_t>(32 * t + k)]; }
    const std::bitset<512>& row(int t, int k) const
    {
        return rows_[static_cast<std::size_t>(32 * t + k)];
    }

    std::vector<std::bitset<512>> rows_;
};
