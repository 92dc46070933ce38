# The two commands of the README:
#   make demo   installs what is missing, builds the qpkit program (and the
#               libraries it loads, nothing else) and runs the demo
#   make test   installs what is missing, builds everything and runs every
#               test suite
#   make bench  builds in Release, runs the benchmarks once, prints the ratio
#               table and writes it to bench/results.md
# Build trees live under build/: native, m32, windows, fuzz.
.PHONY: demo test bench build deps clean

demo: deps build
	build/native/bin/qpkit demo --out qpkit-demo

deps:
	scripts/install-deps.sh native

build:
	cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/native -j2 --target qpkit_cli

test:
	scripts/test-all.sh

bench: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQP_BENCH=ON -DQP_TESTS=OFF
	cmake --build build/release -j2 --target qp_bench
	build/release/bin/qp_bench --benchmark_min_time=0.2 --ratio-table bench/results.md

clean:
	rm -rf build qpkit-demo
