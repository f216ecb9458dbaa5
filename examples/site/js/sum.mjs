// The example site's module script. A browser runs a module only when it is
// served with a JavaScript type, and compiles WebAssembly while it streams
// in only when it is served as application/wasm: the records give both
// files application/octet-stream, and the server corrects it.
const { instance } = await WebAssembly.instantiateStreaming(fetch("/wasm/add.wasm"));
document.getElementById("sum").textContent = `WebAssembly says 2 + 3 = ${instance.exports.add(2, 3)}.`;
