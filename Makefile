# Two entry points: `make run` and `make test`. Both install missing packages first.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps configure build run test bench clean

deps:
	@bash tools/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

# Only what the program needs to start on the sample project, not the tests, benchmarks and fuzzers.
run: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target jex4 make_sample_project
	@bash tools/run.sh $(BUILD_DIR)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD_DIR)/bench/b_*; do \
		[ -f "$$b" ] && [ -x "$$b" ] || continue; \
		echo "== $$b"; "$$b" || exit 1; \
	done

clean:
	rm -rf $(BUILD_DIR) build-*
