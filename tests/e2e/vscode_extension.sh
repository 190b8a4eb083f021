#!/bin/bash
# The VS Code extension builds from a clean install of its locked packages, its grammar passes
# its test, and the .vsix holds what the extension needs at run time: the manifest, the grammar,
# and a client that loads from the unpacked .vsix alone (the language client library with its
# dependencies), while the test and the development packages stay out.
# Usage: vscode_extension.sh PACKAGE_SCRIPT
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$1" "$out" >"$out/log" 2>&1 || { cat "$out/log"; echo "FAIL: packaging the extension" >&2; exit 1; }
unzip -q "$out/tarvel-0.1.0.vsix" -d "$out/vsix" || { echo "FAIL: no readable tarvel-0.1.0.vsix" >&2; exit 1; }
cd "$out/vsix/extension" || exit 1
status=0
for file in package.json language-configuration.json syntaxes/tarvel.tmLanguage.json LICENSE.txt; do
    [ -f "$file" ] || { echo "FAIL: $file is missing from the .vsix" >&2; status=1; }
done
for dir in test node_modules/vscode-textmate node_modules/vscode-oniguruma node_modules/@vscode; do
    [ ! -e "$dir" ] || { echo "FAIL: the .vsix holds $dir" >&2; status=1; }
done
# VS Code provides the 'vscode' module; a stand-in serves here, so that every other module the
# client needs must come from the .vsix.
node -e '
const Module = require("module");
const vscode = new Proxy({}, { get: () => class {} });
const resolve = Module._resolveFilename;
Module._resolveFilename = function (request, ...rest) {
    return request === "vscode" ? request : resolve.call(this, request, ...rest);
};
require.cache.vscode = { id: "vscode", filename: "vscode", loaded: true, exports: vscode };
const extension = require("./extension.js");
if (typeof extension.activate !== "function" || typeof extension.deactivate !== "function")
    throw new Error("extension.js exports no activate and deactivate");
' || { echo "FAIL: the client does not load from the .vsix" >&2; status=1; }
exit $status
