# Entry points; README.md explains them. Every target installs what a fresh Debian 12 machine lacks.
JOBS ?= 2

.PHONY: all deps build run test test-asan test-tsa fuzz screenshots bench format

all: build

deps:
	bash tools/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

run: build
	bash tools/run-main-job.sh

test: build
	bash tools/with-test-env.sh ctest --preset default -j $(JOBS)

test-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	bash tools/with-test-env.sh ctest --preset asan -j $(JOBS)

test-tsa: deps
	cmake --preset tsa
	cmake --build --preset tsa -j $(JOBS)

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	bash tools/run-fuzzers.sh build/fuzz

screenshots: build
	bash tools/make-screenshots.sh

bench: build
	bash tools/with-test-env.sh bash bench/run-all.sh

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i
