#!/usr/bin/env bash
# Closure Compiler for Emscripten's link of the browser build (web/CMakeLists.txt hands it over
# as EM_CLOSURE_COMPILER): the Java build from web/node_modules (web/package.json), at the
# version that matches this Emscripten's runtime, run by Debian's Java.
exec java -jar "$(dirname "$0")/../web/node_modules/google-closure-compiler-java/compiler.jar" "$@"
