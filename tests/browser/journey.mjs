// The browser journey through the demo site: starts `omserver serve` on a free loopback port
// with a fresh data directory, drives the system's Chromium through the site step by step,
// checks what a visitor sees (and what the server's request log shows), and saves a
// screenshot of each main page.
//
//   node journey.mjs OMSERVER PLUGIN_DIR SITE_DIR SCREENSHOT_DIR
//
// Steps for a plug-in that is not built are skipped (and said so). To extend the journey,
// add a row to `steps`: { name, needs: ["OMAccount"], run: async (visit) => { ... } }.
import { spawn } from "node:child_process";
import { mkdtempSync, mkdirSync, readdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";

const [omserver, pluginDir, siteDir, screenshotDir] = process.argv.slice(2);
if (!screenshotDir) {
  console.error("usage: node journey.mjs OMSERVER PLUGIN_DIR SITE_DIR SCREENSHOT_DIR");
  process.exit(2);
}
const chromiumPath = process.env.OM_CHROMIUM || "/usr/bin/chromium";
const chromiumFlags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync"];

function check(condition, what) {
  if (!condition) throw new Error(what);
}

// The server, with its request log kept for the checks.
function startServer(dataDir) {
  return new Promise((resolve, reject) => {
    const child = spawn(omserver, ["serve", "--data", dataDir, "--listen", "127.0.0.1:0", "--plugins", pluginDir, "--site", siteDir],
      { stdio: ["ignore", "pipe", "pipe"] });
    const server = { child, log: [], base: null };
    let pending = "";
    child.stderr.on("data", (chunk) => {
      pending += chunk;
      const lines = pending.split("\n");
      pending = lines.pop();
      server.log.push(...lines);
    });
    child.stdout.on("data", (chunk) => {
      const found = /http:\/\/127\.0\.0\.1:\d+\//.exec(String(chunk));
      if (found && !server.base) {
        server.base = found[0].replace(/\/$/, "");
        resolve(server);
      }
    });
    child.on("exit", (code) => {
      if (!server.base) reject(new Error(`omserver serve ended (${code}) before listening:\n${server.log.join("\n")}`));
    });
    setTimeout(() => reject(new Error("omserver serve did not start within 20 s")), 20000);
  });
}

// Log lines since a mark, for "the browser came back by itself" checks.
function logSince(server, mark) {
  return server.log.slice(mark).filter((line) => / (GET|POST) \//.test(line));
}

// A staged conversation through a form: the RELAY page with its progress text, then the
// page the conversation ends on. It is walked twice: once with the relay's way back held
// (so the relay page can be read and shot, then left by its link), and once as a visitor
// sees it, where the relay page brings the browser back by itself.
async function relayConversation({ page, base, server, shoot }, { name, form, submit, path, relayText, link }) {
  // The relay page leads back to the page's own address (no query) with a GET.
  const hold = (route) => (route.request().method() === "GET" && !route.request().url().includes("?")
    ? route.fulfill({ status: 204 }) : route.continue());
  await page.route(`**${path}`, hold);
  const begin = async () => {
    await page.goto(`${base}${form}`);
    if (link) {
      await page.evaluate(([id, href]) => {
        const anchor = document.createElement("a");
        anchor.id = id;
        anchor.href = href;
        anchor.textContent = "start";
        document.body.append(anchor);
      }, [submit.slice(1), link]);
    }
  };
  await begin();
  await shoot(`${name}-form`);
  await page.click(submit);
  await page.waitForSelector("#relay");
  const text = await page.locator("#relay").innerText();
  check(text.includes(relayText), `the relay page shows "${relayText}": ${text}`);
  await shoot(`${name}-relay`);
  await page.unroute(`**${path}`, hold);
  await Promise.all([page.waitForNavigation(), page.click("#relay a")]);
  await shoot(`${name}-end`);

  await begin();
  const mark = server.log.length;
  await page.click(submit);
  const deadline = Date.now() + 15000;
  let ours = [];
  while (Date.now() < deadline) {
    ours = logSince(server, mark).filter((line) => line.includes(` ${path} `));
    if (ours.some((line) => !line.includes(" RELAY"))) break;
    await new Promise((done) => setTimeout(done, 100));
  }
  check(ours.length >= 2 && ours[0].includes(" RELAY"), `a RELAY page first, then the next step:\n${ours.join("\n")}`);
  const final = ours.find((line) => !line.includes(" RELAY"));
  check(final && !final.includes("no reply"), `the conversation ended with a reply: ${final}`);
  // A redirect leads to another page; a message page answers at the page's own address.
  if (final.includes(" 302 ")) {
    await page.waitForURL((url) => !url.pathname.endsWith(path));
  } else {
    await page.waitForSelector("#message");
  }
  await page.waitForLoadState("load");
  console.log(`    ${name} ended with: ${final.split(" ").slice(3).join(" ")}`);
}

const steps = [
  {
    name: "start-page",
    run: async ({ page, base, shoot, plugins }) => {
      await page.goto(`${base}/`);
      check((await page.locator("h1").first().innerText()).includes("Orbitmere"), "the start page has the site's title");
      check(plugins.includes("OMPrepare"), `the server lists OMPrepare (it lists: ${plugins.join(", ")})`);
      await shoot("start-page");
    },
  },
  {
    name: "launch-link-sets-cookies",
    needs: ["OMPrepare"],
    run: async ({ page, base, context, shoot }) => {
      await page.goto(`${base}/prepare.html`);
      await shoot("prepare-page");
      await Promise.all([page.waitForURL("**/launched.html"), page.click("#launch-link")]);
      check((await page.locator("#c-GT").innerText()) === "7", "the launched page shows the cookie GT=7");
      check((await page.locator("#c-VER1").innerText()) === "1.2", "and VER1=1.2");
      const cookies = Object.fromEntries((await context.cookies()).map((c) => [c.name, c.value]));
      check(cookies.GT === "7" && cookies.PFID === "26", `the browser holds GT and PFID (${JSON.stringify(cookies)})`);
      await shoot("launched-page");
    },
  },
  {
    name: "relay-page-comes-back-by-itself",
    needs: ["OMPrepare"],
    run: async ({ page, base, server, shoot }) => {
      // First the relay page on its own: its target answers "204 No Content" for a moment,
      // so the browser stays on the relay page long enough to be seen (and shot).
      await page.route("**/launched.html", (route) => route.fulfill({ status: 204 }));
      await page.goto(`${base}/OMPrepare?URL=/launched.html&METAREFRESH=1&CC=us&PRODUCTCODE=OM1`);
      check((await page.locator("#relay").innerText()).includes("Please wait"), "the relay page shows its progress text");
      check((await page.locator("#relay a").getAttribute("href")) === "/launched.html", "and links to its target");
      await shoot("relay-page");
      await page.unroute("**/launched.html");

      // Then the visitor's way: the launch link, the relay page, and on by itself.
      await page.goto(`${base}/prepare.html`);
      const mark = server.log.length;
      const relayAnswer = page.waitForResponse((answer) => answer.url().includes("/OMPrepare"));
      await page.click("#launch-relay");
      const relay = await relayAnswer;
      check(relay.status() === 200, `the relay page answers 200, not ${relay.status()}`);
      await page.waitForURL("**/launched.html", { timeout: 10000 });
      await page.waitForSelector("#c-CC");
      check((await page.locator("#c-CC").innerText()) === "us", "the relay led on to the launched page with CC=us");
      const lines = logSince(server, mark);
      check(lines.some((l) => l.includes("GET /OMPrepare 200 RELAY")), `the server sent a RELAY page:\n${lines.join("\n")}`);
      check(lines.some((l) => l.includes("GET /launched.html 200")), "and the browser came to the target by itself");
    },
  },
  {
    name: "failure-message-page",
    needs: ["OMPrepare"],
    run: async ({ page, base, shoot }) => {
      await page.goto(`${base}/prepare.html`);
      await Promise.all([page.waitForNavigation(), page.click("#launch-nourl")]);
      const message = await page.locator("#message").innerText();
      check(message.includes("The launch link gave no address to continue to."), `the message base's text of 1012: ${message}`);
      check(message.includes("FAILURE 1012"), "the page names the code");
      await shoot("failure-message");
    },
  },
  {
    name: "host-hand-off",
    needs: ["OMHost"],
    run: async (visit) => {
      await relayConversation(visit, {
        name: "host", form: "/host.html", submit: "#host button", path: "/OMHost", relayText: "Contacting Orbitmere....",
      });
    },
  },
  {
    name: "join-conversation",
    needs: ["OMJoin"],
    run: async (visit) => {
      await relayConversation(visit, {
        name: "join", form: "/join.html", submit: "#join button", path: "/OMJoin", relayText: "Contacting game server....",
      });
    },
  },
  {
    // The test build's probe page walks the same staged conversation (so the walk itself is
    // checked before the plug-ins that need it are built).
    name: "staged-conversation-probe",
    needs: ["OMHttpProbe"],
    run: async (visit) => {
      await relayConversation(visit, {
        name: "probe", form: "/launched.html", submit: "#probe-start", path: "/OMHttpProbe", relayText: "Contacting probe....",
        link: "/OMHttpProbe?reply=staged&to=/done.html",
      });
    },
  },
  {
    name: "site-pages",
    run: async ({ page, base, shoot }) => {
      for (const name of ["login", "account", "players", "join", "mail", "servers"]) {
        const answer = await page.goto(`${base}/${name}.html`);
        check(answer.status() === 200, `${name}.html answers 200`);
        await shoot(`${name}-page`);
      }
      check(await page.locator("#servers").count() === 1, "the game servers page has its panel");
    },
  },
  {
    name: "account-page-needs-a-login",
    needs: ["OMAccount"],
    run: async ({ page, base, shoot }) => {
      await page.goto(`${base}/account.html`);
      await Promise.all([page.waitForNavigation(), page.click("#account-GetInfo button")]);
      const message = await page.locator("#message").innerText();
      check(message.includes("FAILURE 3207"), `GetInfo without a login answers 3207: ${message}`);
      await shoot("account-not-logged-in");
    },
  },
  {
    name: "player-page-needs-a-login",
    needs: ["OMCharacter"],
    run: async ({ page, base, shoot }) => {
      await page.goto(`${base}/players.html`);
      await Promise.all([page.waitForNavigation(), page.click("#players-get button")]);
      const message = await page.locator("#message").innerText();
      check(message.includes("FAILURE 3207"), `listing players without a login answers 3207: ${message}`);
      await shoot("players-not-logged-in");
    },
  },
];

async function main() {
  mkdirSync(screenshotDir, { recursive: true });
  for (const old of readdirSync(screenshotDir).filter((file) => file.endsWith(".png"))) rmSync(join(screenshotDir, old));
  const dataDir = mkdtempSync(join(tmpdir(), "om-journey-data-"));
  const profileDir = mkdtempSync(join(tmpdir(), "om-journey-profile-"));
  const server = await startServer(dataDir);
  let context;
  let failed = 0;
  try {
    context = await chromium.launchPersistentContext(profileDir, {
      executablePath: chromiumPath, headless: true, args: chromiumFlags, viewport: { width: 1100, height: 800 },
    });
    const page = context.pages()[0] || (await context.newPage());
    page.setDefaultTimeout(15000);
    const index = await (await fetch(`${server.base}/`)).text();
    const plugins = [...index.matchAll(/<code>\/([A-Za-z0-9]+)<\/code>/g)].map((m) => m[1]);
    let shot = 0;
    const shoot = async (name) => {
      shot += 1;
      await page.screenshot({ path: join(screenshotDir, `${String(shot).padStart(2, "0")}-${name}.png`), fullPage: true });
    };
    for (const step of steps) {
      const missing = (step.needs || []).filter((name) => !plugins.includes(name));
      if (missing.length > 0) {
        console.log(`skip ${step.name}: ${missing.join(", ")} not built`);
        continue;
      }
      try {
        await step.run({ page, base: server.base, context, server, shoot, plugins });
        console.log(`ok   ${step.name}`);
      } catch (error) {
        failed += 1;
        console.log(`FAIL ${step.name}: ${error.message}`);
        await shoot(`${step.name}-failed`).catch(() => {});
      }
    }
  } finally {
    if (context) await context.close();
    server.child.kill("SIGTERM");
    await new Promise((done) => server.child.once("exit", done));
    const stopped = server.log.some((line) => line === "stopped");
    if (!stopped) {
      failed += 1;
      console.log("FAIL the server did not stop cleanly on SIGTERM");
    }
    if (failed > 0) console.log(`server log:\n${server.log.join("\n")}`);
    rmSync(dataDir, { recursive: true, force: true });
    rmSync(profileDir, { recursive: true, force: true });
  }
  console.log(`screenshots in ${screenshotDir}`);
  process.exit(failed > 0 ? 1 : 0);
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
