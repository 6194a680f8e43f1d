// Lets the conformance package load on Node 20: its bundle imports
// `globSync` from fs, which Node has from 22 on and which only its
// traceability command calls. Preloaded with `node --import`; the bundle is
// served an fs that has the name. Patching fs itself comes too late, since
// the ESM face of fs is built before any preload runs.
import { register } from 'node:module';

const fsWithGlob = `
import fs from 'node:fs';
export * from 'node:fs';
export default fs;
export const globSync = fs.globSync ?? (() => { throw new Error('globSync needs Node 22'); });`;

const hooks = `
export async function resolve(specifier, context, next) {
  if ((specifier === 'fs' || specifier === 'node:fs') && context.parentURL?.includes('/conformance/dist/'))
    return { url: ${JSON.stringify('data:text/javascript,' + encodeURIComponent(fsWithGlob))}, shortCircuit: true };
  return next(specifier, context);
}`;

register('data:text/javascript,' + encodeURIComponent(hooks));
