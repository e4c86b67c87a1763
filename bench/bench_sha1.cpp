// Throughput of each block transform this processor runs, plain and with
// the collision-attack check (on random blocks and on the check's slowest,
// crafted ones), and of the whole engine (reset, input,
// result, which always checks) with the chosen one, per input size.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sha1/collision/collision.h"
#include "sha1/collision/queue.h"
#include "sha1/cpu_features.h"
#include "sha1/sha1.h"
#include "sha1/transform.h"
#include "tests/support/crafted_blocks.h"
#include "tests/support/sha1_testing.h"

namespace {

const std::int64_t sizes[] = {64, 1024, 16384, 1 << 20};

// Random bytes: a short repeating pattern would meet the collision
// detector's conditions in every block or in none, unlike real files.
std::vector<std::uint8_t> input(std::size_t n)
{
    std::mt19937 random(1);
    std::vector<std::uint8_t> v(n);
    for (auto& byte : v) {
        byte = static_cast<std::uint8_t>(random());
    }
    return v;
}

void transform_bench(benchmark::State& state, sha1_transform_fn fn)
{
    const auto data = input(static_cast<std::size_t>(state.range(0)));
    std::uint32_t h[5] = {sha1_initial_hash[0], sha1_initial_hash[1], sha1_initial_hash[2],
                          sha1_initial_hash[3], sha1_initial_hash[4]};
    for (auto _ : state) {
        fn(h, data.data(), data.size() / 64);
        benchmark::DoNotOptimize(h);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

// A detecting transform over `data`, again and again.
void detect_over(benchmark::State& state, sha1_detecting_fn fn,
                 const std::vector<std::uint8_t>& data)
{
    std::uint32_t h[5] = {sha1_initial_hash[0], sha1_initial_hash[1], sha1_initial_hash[2],
                          sha1_initial_hash[3], sha1_initial_hash[4]};
    for (auto _ : state) {
        benchmark::DoNotOptimize(fn(h, data.data(), data.size() / 64));
        benchmark::DoNotOptimize(h);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}

// The same transform with the collision-attack check of every block.
void detecting_bench(benchmark::State& state, sha1_detecting_fn fn)
{
    detect_over(state, fn, input(static_cast<std::size_t>(state.range(0))));
}

// 256 distinct blocks (16 KiB) that each pass the candidate test for as
// many vectors as can pass together, as torvanix_craft writes them: the
// check's slowest input, on which every candidate is confirmed.
const std::vector<std::uint8_t>& crafted_input()
{
    static const std::vector<std::uint8_t> blocks = [] {
        std::mt19937_64 random(20170223);
        return crafted::blocks_meeting(crafted::largest_compatible_set(random, 256), 256, random);
    }();
    return blocks;
}

// The transform with the check on those blocks.
void crafted_bench(benchmark::State& state, sha1_detecting_fn fn)
{
    const std::vector<std::uint8_t>& data = crafted_input();
    if (data.empty()) {
        state.SkipWithError("no blocks meet the chosen vectors");
        return;
    }
    detect_over(state, fn, data);
}

void engine_bench(benchmark::State& state)
{
    const auto data = input(static_cast<std::size_t>(state.range(0)));
    std::uint8_t digest[SHA1HashSize];
    for (auto _ : state) {
        SHA1Context context;
        SHA1Reset(&context);
        SHA1Input(&context, data.data(), static_cast<unsigned>(data.size()));
        SHA1Result(&context, digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.SetLabel(sha1_chosen_transform().name);
}

// One confirmation of a full queue: random blocks and states (the work does
// not depend on them), each lane along another vector. Counts candidates.
void confirm_bench(benchmark::State& state, const sha1_dv_confirm_form* form)
{
    const auto data = input(64 * sha1_dv_queue_size);
    std::mt19937 random(2);
    std::uint32_t before60[5];
    std::uint32_t out[5];
    sha1_dv_queue queue;
    for (int l = 0; l < form->lanes; ++l) {
        for (int i = 0; i < 5; ++i) {
            before60[i] = static_cast<std::uint32_t>(random());
            out[i] = static_cast<std::uint32_t>(random());
        }
        sha1_dv_queue_push(queue, before60, data.data() + 64 * l, (l * 7) % sha1_dv_count, out,
                           static_cast<std::size_t>(l + 1));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(form->confirm(queue, form->lanes));
    }
    state.SetItemsProcessed(state.iterations() * form->lanes);
}

}  // namespace

int main(int argc, char** argv)
{
    for (const sha1_transform_entry& t : sha1_testing::usable_transforms()) {
        auto* b = benchmark::RegisterBenchmark((std::string("transform/") + t.name).c_str(),
                                               transform_bench, t.plain);
        for (std::int64_t n : sizes) b->Arg(n);
        auto* d = benchmark::RegisterBenchmark((std::string("detecting/") + t.name).c_str(),
                                               detecting_bench, t.detecting);
        for (std::int64_t n : sizes) d->Arg(n);
        benchmark::RegisterBenchmark((std::string("crafted/") + t.name + "/16384").c_str(),
                                     crafted_bench, t.detecting);
    }
    for (const sha1_dv_confirm_entry& c : sha1_dv_confirm_forms) {
        if (sha1_cpu_has(sha1_read_cpu_features(), c.needs)) {
            benchmark::RegisterBenchmark((std::string("confirm/") + c.name).c_str(), confirm_bench,
                                         c.form);
        }
    }
    auto* e = benchmark::RegisterBenchmark("engine", engine_bench);
    for (std::int64_t n : sizes) e->Arg(n);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
