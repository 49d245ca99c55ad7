// Prints a Jet database as the npm package mdb-reader reads it, in the dump format of the Jet
// fixtures (tests/jetfile/readers.h tells the format), for the tests to compare with what they
// expect and with libmdb.
//
//   node mdb_reader_dump.mjs FILE [PASSWORD]
//
// mdb-reader is loaded from the folder named by CATALOGSYNC_TEST_READERS_DIR, else from
// /usr/local/lib/catalogsync-test, where scripts/bootstrap installs it.
//
// What mdb-reader does not tell, and so this dump does not either: indexes (none are printed),
// whether a text column compresses its Unicode (`compressedUnicode=?`). The Jet version is read
// from the header byte that tells it, since mdb-reader keeps it to itself.
//
// Exit status: 0 when the whole file was printed, 1 when mdb-reader cannot read it or a value
// cannot be formatted, 2 for a wrong command line or a missing mdb-reader.
import { readFileSync, writeSync } from "node:fs";
import { createRequire } from "node:module";
import { basename, join } from "node:path";
import { pathToFileURL } from "node:url";

const [file, password] = process.argv.slice(2);
if (!file || process.argv.length > 4) {
  process.stderr.write("usage: node mdb_reader_dump.mjs FILE [PASSWORD]\n");
  process.exit(2);
}
const readersDir = process.env.CATALOGSYNC_TEST_READERS_DIR || "/usr/local/lib/catalogsync-test";
let MDBReader;
try {
  const require = createRequire(join(readersDir, "package.json"));
  MDBReader = (await import(pathToFileURL(require.resolve("mdb-reader")).href)).default;
} catch (e) {
  process.stderr.write(`mdb_reader_dump: mdb-reader is not installed in ${readersDir} ` +
                       `(run scripts/bootstrap): ${e.message}\n`);
  process.exit(2);
}

const out = [];
function emit(line) {
  out.push(line);
}

function escapeText(text) {
  let s = "";
  for (const ch of text) {
    const c = ch.codePointAt(0);
    if (ch === "\\") s += "\\\\";
    else if (ch === "\t") s += "\\t";
    else if (ch === "\n") s += "\\n";
    else if (ch === "\r") s += "\\r";
    else if (c < 0x20 || c === 0x7f) s += "\\x" + c.toString(16).toUpperCase().padStart(2, "0");
    else s += ch;
  }
  return s;
}

// A number as the fixtures write it: the fewest digits that read back as the same value
// (exponential text with them), plain from 0.001 up to 10,000,000 with at least one decimal,
// else d.dddE±n.
function numberText(value, exponential) {
  if (Number.isNaN(value)) return "NaN";
  if (!Number.isFinite(value)) return value > 0 ? "Infinity" : "-Infinity";
  if (value === 0) return Object.is(value, -0) ? "-0.0" : "0.0";
  const [mantissa, exp] = exponential.split("e");
  const exponent = Number(exp);
  const sign = mantissa.startsWith("-") ? "-" : "";
  const digits = mantissa.replace("-", "").replace(".", "");
  if (exponent >= -3 && exponent < 7) {
    let whole, fraction;
    if (exponent >= 0) {
      whole = digits.slice(0, exponent + 1).padEnd(exponent + 1, "0");
      fraction = digits.slice(exponent + 1);
    } else {
      whole = "0";
      fraction = "0".repeat(-exponent - 1) + digits;
    }
    return `${sign}${whole}.${fraction || "0"}`;
  }
  return `${sign}${digits[0]}.${digits.slice(1) || "0"}E${exponent}`;
}

function doubleText(value) {
  return numberText(value, Number.isFinite(value) ? value.toExponential() : "");
}

// A Single arrives widened to a double; its text is the shortest that reads back as the same
// single.
function singleText(value) {
  if (!Number.isFinite(value) || value === 0) return numberText(value, "");
  for (let p = 1; p <= 9; p++) {
    const text = value.toExponential(p - 1);
    if (Math.fround(Number(text)) === value) return numberText(value, text);
  }
  return numberText(value, value.toExponential());
}

// mdb-reader turns the stored days since 1899-12-30 into a time on a straight line. Jet counts
// the days before that day backwards with the time of day still forwards (-1.25 is 1899-12-29
// 06:00), so those are turned back into days and read the Jet way. To the second, the
// millisecond dropped.
const DAY_MS = 86400000;
const JET_DAY_ZERO_MS = -25569 * DAY_MS;
function dateText(date) {
  const fromZero = date.getTime() - JET_DAY_ZERO_MS;
  if (!Number.isFinite(fromZero)) throw new Error("a date out of range");
  const days = Math.trunc(fromZero / DAY_MS);
  const timeMs = Math.abs(fromZero - days * DAY_MS);
  const ms = JET_DAY_ZERO_MS + days * DAY_MS + (timeMs - (timeMs % 1000));
  const d = new Date(ms);
  const pad = (n, w = 2) => String(n).padStart(w, "0");
  return `${pad(d.getUTCFullYear(), 4)}-${pad(d.getUTCMonth() + 1)}-${pad(d.getUTCDate())} ` +
         `${pad(d.getUTCHours())}:${pad(d.getUTCMinutes())}:${pad(d.getUTCSeconds())}`;
}

const TYPE_NAMES = {
  boolean: "BOOLEAN", byte: "BYTE", integer: "INT", long: "LONG", currency: "MONEY",
  float: "FLOAT", double: "DOUBLE", datetime: "SHORT_DATE_TIME", binary: "BINARY", text: "TEXT",
  ole: "OLE", memo: "MEMO", repid: "GUID", numeric: "NUMERIC", complex: "COMPLEX_TYPE",
  bigint: "BIG_INT", datetimextended: "EXT_DATE_TIME",
};

function valueText(column, value) {
  if (value === null || value === undefined) return column.type === "boolean" ? "0" : "\\N";
  switch (column.type) {
    case "boolean": return value ? "1" : "0";
    case "byte": case "integer": case "long": case "bigint": return String(value);
    case "currency":
      if (!/^-?\d+\.\d{4}$/.test(value)) throw new Error(`currency ${value} not to four decimals`);
      return value;
    case "float": return singleText(value);
    case "double": return doubleText(value);
    case "datetime": return dateText(value);
    case "text": case "memo": return escapeText(value);
    case "binary": case "ole": return "0x" + Buffer.from(value).toString("hex").toUpperCase();
    case "repid": return value.toUpperCase();
    default: throw new Error(`a column of type ${column.type}, which this dump does not format`);
  }
}

function columnLine(column) {
  let line = `  COLUMN ${escapeText(column.name)}\ttype=${TYPE_NAMES[column.type] ?? column.type}`;
  // A Yes/No column keeps no bytes in the row; its declared size is that of its type.
  const length = column.type === "boolean" && column.size === 0 ? 1 : column.size;
  line += `\tlength=${length}`;
  if (column.type === "text" || column.type === "memo") {
    line += `\tchars=${Math.trunc(column.size / 2)}\tcompressedUnicode=?`;
  }
  line += `\tautonumber=${column.autoLong || column.autoUUID ? 1 : 0}`;
  return line;
}

function formatName(buffer, systemTables) {
  // The byte at 0x14 of the header page tells the Jet version.
  switch (buffer.length > 0x14 ? buffer[0x14] : -1) {
    case 0: return "V1997 [VERSION_3]";
    // Access 2003 adds MSysAccessStorage to a Jet 4 file; Access 2000 has none.
    case 1: return `${systemTables.includes("MSysAccessStorage") ? "V2003" : "V2000"} [VERSION_4]`;
    case 2: return "V2007 [VERSION_12]";
    case 3: return "V2010 [VERSION_14]";
    default: return "UNKNOWN";
  }
}

function relationshipLines(reader, userTables) {
  const names = reader.getTableNames({ normalTables: false, systemTables: true });
  if (!names.includes("MSysRelationships")) return [];
  const rows = reader.getTable("MSysRelationships").getData();
  const byName = new Map();
  for (const row of rows) {
    const r = byName.get(row.szRelationship) ?? { from: row.szReferencedObject, to: row.szObject,
                                                   flags: row.grbit ?? 0, columns: [] };
    r.columns.push([row.icolumn ?? 0, row.szReferencedColumn, row.szColumn]);
    byName.set(row.szRelationship, r);
  }
  const lines = [];
  for (const name of [...byName.keys()].sort(compareNames)) {
    const r = byName.get(name);
    if (!userTables.includes(r.from) || !userTables.includes(r.to)) continue;
    r.columns.sort((a, b) => a[0] - b[0]);
    const f = r.flags;
    const join = f & 0x01000000 ? "LEFT_OUTER" : f & 0x02000000 ? "RIGHT_OUTER" : "INNER";
    lines.push(`RELATIONSHIP ${escapeText(name)}` +
               `\tfrom=${escapeText(r.from)}(${escapeText(r.columns.map((c) => c[1]).join(","))})` +
               `\tto=${escapeText(r.to)}(${escapeText(r.columns.map((c) => c[2]).join(","))})` +
               `\tintegrity=${f & 0x2 ? 0 : 1}\tcascadeUpdates=${f & 0x100 ? 1 : 0}` +
               `\tcascadeDeletes=${f & 0x1000 ? 1 : 0}\tcascadeNull=${f & 0x2000 ? 1 : 0}` +
               `\toneToOne=${f & 0x1 ? 1 : 0}\tjoin=${join}`);
  }
  return lines;
}

// Names in the order of their UTF-16 code units, as the C++ side sorts its UTF-8 bytes for the
// names the fixtures hold (plain ASCII).
function compareNames(a, b) {
  return a < b ? -1 : a > b ? 1 : 0;
}

try {
  const buffer = readFileSync(file);
  const reader = new MDBReader(buffer, password ? { password } : {});
  const systemTables = reader.getTableNames({ normalTables: false, systemTables: true });
  const tables = reader.getTableNames().filter((n) => !/^msys/i.test(n)).sort(compareNames);
  emit(`FILE ${basename(file)}`);
  emit(`FORMAT ${formatName(buffer, systemTables)}`);
  const stored = reader.getPassword();
  emit(`PASSWORD ${stored === null || stored === "" ? "\\N" : escapeText(stored)}`);
  for (const name of tables) {
    const table = reader.getTable(name);
    const columns = table.getColumns();
    emit(`TABLE ${escapeText(name)}`);
    for (const column of columns) emit(columnLine(column));
    emit(`  ROWCOUNT ${table.rowCount}`);
    emit("  ROWS");
    emit(columns.map((c) => escapeText(c.name)).join("\t"));
    for (const row of table.getData()) {
      emit(columns.map((c) => valueText(c, row[c.name])).join("\t"));
    }
    emit(`END TABLE ${escapeText(name)}`);
  }
  for (const line of relationshipLines(reader, tables)) emit(line);
  emit("END");
} catch (e) {
  process.stderr.write(`mdb_reader_dump: ${file}: ${e.message}\n`);
  process.exit(1);
}
const text = out.join("\n") + "\n";
const bytes = Buffer.from(text, "utf8");
for (let at = 0; at < bytes.length;) at += writeSync(1, bytes, at, bytes.length - at);
