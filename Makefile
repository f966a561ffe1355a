# The two commands: `make demo` and `make test`. Both install what is missing first.
.PHONY: all demo test build-ci build-release format tsan fuzz clean

all: demo

demo:
	scripts/install-deps
	cmake --preset release
	cmake --build --preset release
	scripts/demo build/release/stage

test:
	scripts/install-deps
	cmake --preset ci
	cmake --build --preset ci
	scripts/run-tests build/ci

tsan:
	scripts/install-deps
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan

fuzz:
	scripts/install-deps
	cmake --preset fuzz
	cmake --build --preset fuzz

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
