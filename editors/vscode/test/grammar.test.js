// The TextMate grammar as VS Code applies it (vscode-textmate with the Oniguruma engine): a
// script is tokenized line by line and chosen pieces must carry the expected scopes.
// Run with `node test/grammar.test.js`.
'use strict';
const assert = require('node:assert');
const fs = require('node:fs');
const path = require('node:path');
const test = require('node:test');
const oniguruma = require('vscode-oniguruma');
const textmate = require('vscode-textmate');

const root = path.join(__dirname, '..');

async function loadGrammar() {
    const wasm = fs.readFileSync(require.resolve('vscode-oniguruma/release/onig.wasm'));
    await oniguruma.loadWASM(wasm.buffer.slice(wasm.byteOffset, wasm.byteOffset + wasm.byteLength));
    const registry = new textmate.Registry({
        onigLib: Promise.resolve({
            createOnigScanner: (sources) => new oniguruma.OnigScanner(sources),
            createOnigString: (text) => new oniguruma.OnigString(text),
        }),
        loadGrammar: async (scopeName) => {
            const file = path.join(root, 'syntaxes', 'tarvel.tmLanguage.json');
            return scopeName === 'source.tarvel' ? textmate.parseRawGrammar(fs.readFileSync(file, 'utf8'), file) : null;
        },
    });
    return registry.loadGrammar('source.tarvel');
}

// The scopes of every character of every line, innermost last.
function tokenize(grammar, text) {
    let stack = textmate.INITIAL;
    return text.split('\n').map((line) => {
        const result = grammar.tokenizeLine(line, stack);
        stack = result.ruleStack;
        const scopes = [];
        for (const token of result.tokens) {
            for (let i = token.startIndex; i < token.endIndex; ++i) scopes[i] = token.scopes;
        }
        return { line, scopes };
    });
}

const script = `; settings first, then the sections
bpm 120
demo_name My demo; first cut
gl_widht 800
[image] ; the logo
start 2
end 10.5
layer -3
param 1 0.5 {2, -3}
float .25
string data/logo;old.tga
sound 1
spline data/path.spl 12
curve data/sky.spl
blend SRC_ALPHA ONE_MINUS_SRC_ALPHA
alpha GREATER 0.1 0.5
loop 1
  ; not a comment
; bpm 90
[imag]
[sound]`;

// [start of the line, piece (its first occurrence on the line), scope of each of its characters]
const expected = [
    ['; settings', ';', 'punctuation.definition.comment.tarvel'],
    ['; settings', 'settings', 'comment.line.semicolon.tarvel'],
    ['bpm 120', 'bpm', 'support.variable.setting.tarvel'],
    ['bpm 120', '120', 'constant.numeric.tarvel'],
    ['demo_name', 'demo_name', 'support.variable.setting.tarvel'],
    ['demo_name', 'My demo; first cut', 'string.unquoted.tarvel'],
    ['gl_widht', 'gl_widht', 'invalid.illegal.unknown-setting.tarvel'],
    ['[image]', '[', 'punctuation.definition.section.begin.tarvel'],
    ['[image]', 'image', 'entity.name.type.section.tarvel'],
    ['[image]', ']', 'punctuation.definition.section.end.tarvel'],
    ['[image]', '; the logo', 'comment.line.tarvel'],
    ['start 2', 'start', 'keyword.other.tarvel'],
    ['start 2', '2', 'constant.numeric.tarvel'],
    ['end 10.5', '10.5', 'constant.numeric.tarvel'],
    ['layer -3', '-3', 'constant.numeric.tarvel'],
    ['param 1', '0.5', 'constant.numeric.tarvel'],
    ['param 1', '-3', 'constant.numeric.tarvel'],
    // Other keys are read by their first letter: f as param, s as string, c as spline.
    ['float .25', 'float', 'keyword.other.tarvel'],
    ['float .25', '.25', 'constant.numeric.tarvel'],
    ['string data', 'string', 'keyword.other.tarvel'],
    // ';' after a value is part of the value.
    ['string data', 'data/logo;old.tga', 'string.unquoted.tarvel'],
    ['sound 1', 'sound', 'keyword.other.tarvel'],
    ['sound 1', '1', 'string.unquoted.tarvel'],
    ['spline data', 'spline', 'keyword.other.tarvel'],
    ['spline data', 'data/path.spl', 'string.unquoted.tarvel'],
    ['spline data', '12', 'constant.numeric.tarvel'],
    ['curve', 'curve', 'keyword.other.tarvel'],
    ['curve', 'data/sky.spl', 'string.unquoted.tarvel'],
    ['blend', 'blend', 'keyword.other.tarvel'],
    ['blend', 'SRC_ALPHA', 'constant.language.blend.tarvel'],
    ['blend', 'ONE_MINUS_SRC_ALPHA', 'constant.language.blend.tarvel'],
    ['alpha', 'GREATER', 'constant.language.alpha.tarvel'],
    ['alpha', '0.5', 'constant.numeric.tarvel'],
    // A setting inside a section is an unknown key.
    ['loop 1', 'loop', 'invalid.illegal.unknown-key.tarvel'],
    ['  ; not', '  ; not a comment', 'invalid.illegal.leading-blank.tarvel'],
    ['; bpm 90', 'bpm', 'comment.line.semicolon.tarvel'],
    ['[imag]', 'imag', 'invalid.illegal.unknown-section.tarvel'],
    ['[sound]', 'sound', 'entity.name.type.section.tarvel'],
];

test('the grammar scopes a script as the player reads it', async () => {
    const lines = tokenize(await loadGrammar(), script);
    const failures = [];
    for (const [start, piece, scope] of expected) {
        const found = lines.find((l) => l.line.startsWith(start));
        assert.ok(found, `no line starts with '${start}'`);
        const column = found.line.indexOf(piece);
        assert.ok(column >= 0, `'${piece}' is not on '${found.line}'`);
        for (let i = column; i < column + piece.length; ++i) {
            const scopes = found.scopes[i];
            if (scopes[scopes.length - 1] === scope) continue;
            failures.push(`'${found.line}' column ${i + 1}: ${scopes.join(' ')}, not ${scope}`);
            break;
        }
    }
    assert.deepStrictEqual(failures, []);
});
