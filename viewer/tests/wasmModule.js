// The page's WebAssembly inflater as the build leaves it in the stage.
import { readFileSync } from 'node:fs';

import { WasmInflater } from '../src/wasmInflater.js';

export const wasmModule = WasmInflater.compile(readFileSync(new URL('../inflater.wasm', import.meta.url)));
