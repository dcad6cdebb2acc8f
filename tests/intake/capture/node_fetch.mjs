// Posts a FormData body with Node's own fetch to the sink. Usage: node node_fetch.mjs URL
const url = process.argv[2];
const form = new FormData();
form.append("title", "Holiday photos");
form.append("comment", "caf\u00e9 & cr\u00e8me");
form.append("photos", new Blob(["first file\r\n--not a divider\r\n"], {type: "text/plain"}), "one.txt");
const binary = new Uint8Array(300);
for (let i = 0; i < binary.length; ++i) binary[i] = i % 256;
form.append("photos", new Blob([binary], {type: "application/octet-stream"}), "two.bin");
form.append("document", new Blob(["r\u00e9sum\u00e9 text"], {type: "text/plain"}), "r\u00e9sum\u00e9 \u65e5\u672c.txt");
form.append("nothing", new Blob([], {type: "application/octet-stream"}), "");
const reply = await fetch(url, {method: "POST", body: form});
process.stdout.write(await reply.text());
