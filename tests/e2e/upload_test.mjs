// Browser test of the sample site: choose files, send them, watch the progress bar move
// and reach 100 %, then check the results page. Screenshots go to the artefact folder.
// Usage: node upload_test.mjs BASE_URL ARTIFACT_DIR FILE1 FILE2
import { chromium } from "playwright-core";
import assert from "node:assert/strict";
import path from "node:path";

const [base, artifacts, file1, file2] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
         "--disable-component-update", "--disable-sync"],
});
let failed = false;
try {
  const page = await browser.newPage({ viewport: { width: 1000, height: 900 } });
  const percents = [];
  page.on("response", async (response) => {
    if (!response.url().includes("/progress.asp")) return;
    try { percents.push((await response.json()).percent); } catch { /* page gone */ }
  });
  // A slow uplink, so that the upload lasts long enough to be watched.
  const cdp = await page.context().newCDPSession(page);
  await cdp.send("Network.enable");
  await cdp.send("Network.emulateNetworkConditions",
                 { offline: false, latency: 0, downloadThroughput: -1, uploadThroughput: 1024 * 1024 });

  await page.goto(base + "/");
  assert.equal(await page.title(), "Upload files · Ferrolift");
  await page.setInputFiles("input[name=file1]", file1);
  await page.setInputFiles("input[name=file2]", file2);
  await page.fill("input[name=description]", "Browser upload");
  await page.selectOption("select[name=codepage]", "65001");
  await page.click("#send");

  await page.waitForFunction(() => {
    const fill = document.getElementById("fill");
    return fill && parseFloat(fill.style.width) > 0 && parseFloat(fill.style.width) < 100;
  }, null, { timeout: 60000 });
  await page.screenshot({ path: path.join(artifacts, "upload-progress.png") });
  await page.waitForFunction(() => document.getElementById("fill")?.style.width === "100%", null, { timeout: 120000 });

  await page.waitForSelector("#field-count", { timeout: 60000 });
  assert.equal(await page.textContent("h1"), "Upload received");
  const safeNames = await page.$$eval(".prop.safe-name .v", (cells) => cells.map((c) => c.textContent));
  assert.ok(safeNames.includes(path.basename(file1)), "first file listed: " + safeNames);
  assert.ok(safeNames.includes(path.basename(file2)), "second file listed: " + safeNames);
  assert.ok((await page.content()).includes("Browser upload"), "text field listed");
  // Stored under names the server chose, handed out through the download page.
  const savedLinks = await page.$$eval(".prop.saved a", (links) => links.map((a) => a.getAttribute("href")));
  assert.equal(savedLinks.length, 2);
  for (const link of savedLinks) assert.match(link, /^download\.asp\?name=\d+-\d+\.[a-z0-9]+$/, "stored name: " + link);
  await page.screenshot({ path: path.join(artifacts, "upload-results.png"), fullPage: true });

  const moving = percents.filter((p) => p > 0 && p < 100);
  assert.ok(moving.length >= 2, "the bar moved through intermediate values: " + percents.join(","));
  assert.ok(percents.includes(100), "the bar reached 100: " + percents.join(","));
  console.log("progress seen: " + percents.join(","));
} catch (error) {
  failed = true;
  console.error(error);
} finally {
  await browser.close();
}
console.log(failed ? "0 passed, 1 failed" : "1 passed, 0 failed");
process.exit(failed ? 1 : 0);
