# The two commands of the README:
#   make demo   installs what is missing, builds the qpkit program (and the
#               libraries it loads, nothing else) and runs the demo
#   make test   installs what is missing, builds everything and runs every
#               test suite
# Build trees live under build/: native, m32, windows, fuzz.
.PHONY: demo test build deps clean

demo: deps build
	build/native/bin/qpkit demo --out qpkit-demo

deps:
	scripts/install-deps.sh native

build:
	cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/native -j2 --target qpkit_cli

test:
	scripts/test-all.sh

clean:
	rm -rf build qpkit-demo
