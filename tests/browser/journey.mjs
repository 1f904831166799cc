// The browser journey through the demo site: creates the demo data (`omserver init-db --demo`
// and the demo game servers of scripts/run.sh) in a fresh data directory, starts `omserver
// serve` on a free loopback port, drives the system's Chromium through the site step by step
// as a new visitor would (create an account, activate it from the mail outbox, log in, create
// and select players, join a full game server, wait in its line and be admitted), checks what
// the visitor sees (and what the server's request log shows), and saves a screenshot of each
// main page.
//
//   node journey.mjs OMSERVER PLUGIN_DIR SITE_DIR SCREENSHOT_DIR
//
// Steps for a plug-in that is not built are skipped (and said so); the steps after them
// that would need what they made fall back to the demo data (the join uses the demo account
// alice when no player could be made). To extend the journey, add a row to `steps`:
// { name, needs: ["OMAccount"], run: async (visit) => { ... } }.
import { spawn, spawnSync } from "node:child_process";
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

// The demo game servers and product records, as scripts/run.sh sets them up.
const kDemoServers = [
  ["server", "add", "--rid", "1", "--gsid", "OM-HARBOUR", "--name", "Orbitmere Harbour", "--own", "1", "--queued", "1",
    "--places", "0", "--address", "127.0.0.1:27901", "--scramble-key", "4242"],
  ["server", "add", "--rid", "2", "--gsid", "OM-LIGHTHOUSE", "--name", "Orbitmere Lighthouse", "--own", "1", "--queued", "1",
    "--places", "3", "--address", "127.0.0.1:27902", "--scramble-key", "1717"],
  ["product", "set", "26", "26:1", "27:3"],
];

// The new visitor of the journey.
const kVisitor = { name: "mira", password: "stars12", email: "mira@example.com", first: "Mira", last: "Moss" };

function demoData(dataDir) {
  for (const args of [["init-db", "--demo"], ...kDemoServers]) {
    const run = spawnSync(omserver, [...args, "--data", dataDir], { encoding: "utf8" });
    check(run.status === 0, `omserver ${args.join(" ")} failed (${run.status}):\n${run.stdout}${run.stderr}`);
  }
}

const sleep = (ms) => new Promise((done) => setTimeout(done, ms));

async function cookieMap(context) {
  return Object.fromEntries((await context.cookies()).map((c) => [c.name, decodeURIComponent(c.value)]));
}

// Posts a form of the page the browser is on (clicks submit) and lets the conversation run
// as a visitor sees it: every interim page leads on by itself, until a page that is not an
// interim one (a message page, or the page a redirect leads to). Checks that the server sent
// exactly the given interim texts first, in order; shoots the first interim page when it
// stays long enough to be seen. Returns the request log line of the final reply.
async function conversation({ page, server, shoot }, { name, submit, path, relays, timeout = 20000 }) {
  const mark = server.log.length;
  // The answers of the plug-in pass through here on their way to the browser, so that an
  // interim page that leads on at once can still be read.
  const bodies = [];
  const through = async (route) => {
    const answer = await route.fetch({ maxRedirects: 0 });
    const body = await answer.text();
    if (body.includes('id="relay"')) bodies.push(body);
    await route.fulfill({ response: answer, body });
  };
  let shot = false;
  const onLoad = async () => {
    if (shot) return;
    shot = true;
    try {
      if (await page.locator("#relay").count() > 0) await shoot(`${name}-relay`);
    } catch { /* the page moved on while it was shot */ }
  };
  const ourPath = (url) => url.pathname === path;
  await page.route(ourPath, through);
  page.on("load", onLoad);
  try {
    await page.click(submit);
    const deadline = Date.now() + timeout;
    let ours = [];
    let final;
    while (Date.now() < deadline) {
      ours = logSince(server, mark).filter((line) => line.includes(` ${path} `));
      final = ours.find((line) => !line.includes(" RELAY"));
      if (final) break;
      await sleep(100);
    }
    check(final, `${name}: the conversation ended within ${timeout / 1000} s:\n${ours.join("\n")}`);
    const interim = ours.slice(0, ours.indexOf(final));
    check(interim.length === relays.length,
      `${name}: ${relays.length} interim page(s) came back by themselves, then the reply:\n${ours.join("\n")}`);
    if (final.includes(" 302 ")) {
      await page.waitForURL((url) => !url.pathname.endsWith(path));
    } else {
      await page.waitForSelector("#message");
    }
    await page.waitForLoadState("load");
    const texts = bodies;
    relays.forEach((text, i) => check(texts[i] && texts[i].includes(text),
      `${name}: interim page ${i + 1} says "${text}":\n${(texts[i] || "(none)").slice(0, 600)}`));
    console.log(`    ${name} ended with: ${final.split(" ").slice(3).join(" ")}`);
    return final;
  } finally {
    await page.unroute(ourPath, through);
    page.off("load", onLoad);
  }
}

async function messageText(page) {
  return (await page.locator("#message").innerText()).replace(/\s+/g, " ");
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
      check((await page.locator("#server-1").innerText()).includes("Orbitmere Harbour"), "the servers page lists the demo server");
      check((await page.locator("#product-26").innerText()).includes("27:3"), "and the demo product record");
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
  {
    name: "create-account",
    needs: ["OMAccount"],
    run: async (visit) => {
      const { page, base, shoot } = visit;
      await page.goto(`${base}/account.html`);
      const form = page.locator("#account-New");
      for (const [field, value] of [["name1", kVisitor.name], ["name2", kVisitor.name], ["password1", kVisitor.password],
        ["password2", kVisitor.password], ["email1", kVisitor.email], ["email2", kVisitor.email],
        ["firstname", kVisitor.first], ["lastname", kVisitor.last], ["city", "Saltmarsh"]]) {
        await form.locator(`[name=${field}]`).fill(value);
      }
      await form.scrollIntoViewIfNeeded();
      await shoot("new-account-form");
      await conversation(visit, { name: "new-account", submit: "#account-New button", path: "/OMAccount",
        relays: ["Contacting account databases....", "Creating account...."] });
      const message = await messageText(page);
      check(message.includes("Your Orbitmere Account has been created."), `the account was created: ${message}`);
      check(message.includes("A welcome message has been sent to your email address."), "and the welcome mail sent");
      await shoot("new-account-created");
    },
  },
  {
    name: "activation-mail",
    needs: ["OMAccount"],
    run: async (visit) => {
      const { page, base, shoot } = visit;
      await page.goto(`${base}/account.html`);
      await page.locator("#account-ForgotActivationCode [name=email]").fill(kVisitor.email);
      await conversation(visit, { name: "activation-code", submit: "#account-ForgotActivationCode button", path: "/OMAccount",
        relays: ["Contacting account databases...."] });
      const message = await messageText(page);
      check(message.includes("The information you requested has been sent to your email address."), `the code was mailed: ${message}`);

      await page.goto(`${base}/mail.html`);
      const newest = page.locator("#outbox article.mail").first();
      check((await newest.locator(".to").innerText()) === kVisitor.email, "the newest mail goes to the new account's address");
      check((await newest.locator(".subject").innerText()) === "Requested Orbitmere Account Information", "with the subject");
      const body = await newest.locator(".body").innerText();
      const code = /Activation Code is "(\d+)"/.exec(body);
      check(code && code[1] !== "0", `the mail carries the activation code: ${body}`);
      const subjects = await page.locator("#outbox .subject").allInnerTexts();
      check(subjects.includes(`Welcome to Orbitmere "${kVisitor.name}"!`), `the welcome mail is in the outbox too: ${subjects.join(" | ")}`);
      await shoot("mail-outbox");

      await Promise.all([page.waitForURL("**/activateaccount.htm?*"), newest.locator("a.mail-link").click()]);
      const form = page.locator("#account-ActivateAccount");
      check((await form.locator("[name=email]").inputValue()) === kVisitor.email, "the activation page has the address");
      check((await form.locator("[name=activationcode]").inputValue()) === code[1], "and the code of the mail");
      await shoot("activation-page");
      await conversation(visit, { name: "activate", submit: "#account-ActivateAccount button", path: "/OMAccount",
        relays: ["Changing account email address...."] });
      const done = await messageText(page);
      check(done.includes("Account has been activated. Please log in."), `the account is active: ${done}`);
      await shoot("activated");
    },
  },
  {
    name: "log-in",
    needs: ["OMAccount"],
    run: async ({ page, base, context, shoot }) => {
      await page.goto(`${base}/login.html`);
      await page.fill("#login [name=handle]", kVisitor.name);
      await page.fill("#login [name=password]", "wrong-one");
      await Promise.all([page.waitForNavigation(), page.click("#login button")]);
      check((await page.locator("main").innerText()).includes("do not match"), "a wrong password is refused");
      check(!(await cookieMap(context)).OMV, "and sets no login cookies");

      await page.goto(`${base}/login.html`);
      await page.fill("#login [name=handle]", kVisitor.name);
      await page.fill("#login [name=password]", kVisitor.password);
      await shoot("login-form");
      await Promise.all([page.waitForURL("**/index.html"), page.click("#login button")]);
      const cookies = await cookieMap(context);
      check(Number(cookies.OMV) > 0 && Number(cookies.OMI) > 5, `the login cookies name the new account: ${JSON.stringify(cookies)}`);
      check(Number(cookies.OMD) > 0 && cookies.CHAR === "", "an account without players yet gets a placeholder player number");
      check((await page.locator(".who").innerText()).includes(`account ${cookies.OMI}`), "the page header names the account");
      await shoot("logged-in");
    },
  },
  {
    name: "personal-data",
    needs: ["OMAccount"],
    run: async (visit) => {
      const { page, base, shoot } = visit;
      await page.goto(`${base}/account.html`);
      await conversation(visit, { name: "get-info", submit: "#account-GetInfo button", path: "/OMAccount",
        relays: ["Contacting account databases...."] });
      check(page.url().includes("/account-info.html"), `GetInfo leads to the personal data page: ${page.url()}`);
      check((await page.locator("#account-SetInfo [name=firstname]").inputValue()) === kVisitor.first, "the form has the first name");
      check((await page.locator("#account-SetInfo [name=lastname]").inputValue()) === kVisitor.last, "and the last name");
      check((await page.locator("#account-SetInfo [name=city]").inputValue()) === "Saltmarsh", "and the city");
      await shoot("personal-data");
    },
  },
  {
    name: "players",
    needs: ["OMAccount", "OMCharacter"],
    run: async (visit) => {
      const { page, base, context, shoot } = visit;
      for (const name of ["Nova", "Vega"]) {
        await page.goto(`${base}/players.html`);
        await page.fill("#players-new [name=newcharactername]", name);
        await conversation(visit, { name: `new-player-${name}`, submit: "#players-new button", path: "/OMCharacter",
          relays: ["Creating new player...."] });
        check(page.url().includes("/players.html"), `creating ${name} leads back to the players page: ${page.url()}`);
        check((await page.locator("#charactername").innerText()) === name, `the new player ${name} is the default`);
      }
      const list = page.locator("#playerlist");
      check((await list.locator("u").innerText()) === "Vega", "the list underlines the default player");
      check(await list.locator("a", { hasText: "Nova" }).count() === 1, "and links the other one");
      await shoot("players-list");
      await conversation(visit, { name: "select-player", submit: "#playerlist a:has-text('Nova')", path: "/OMCharacter",
        relays: ["Selecting player...."] });
      check((await page.locator("#charactername").innerText()) === "Nova", "Nova is the default now");
      check((await page.locator("#playerlist u").innerText()) === "Nova", "and underlined in the list");
      const cookies = await cookieMap(context);
      check(cookies.CHAR === "Nova" && Number(cookies.OMD) > 0 && Number(cookies.OMD) < 2147483647,
        `the login cookies name the selected player: ${JSON.stringify(cookies)}`);
      await shoot("player-selected");
    },
  },
  {
    name: "join-waiting-line",
    needs: ["OMJoin"],
    run: async ({ page, base, context, shoot, plugins, newVisitor }) => {
      const text = async (where) => (await where.locator("body").innerText()).replace(/\s+/g, " ");
      const waitForText = async (where, wanted, timeout = 20000) => {
        const deadline = Date.now() + timeout;
        while (Date.now() < deadline) {
          try {
            if ((await text(where)).includes(wanted)) return;
          } catch { /* between two pages */ }
          await sleep(200);
        }
        throw new Error(`the page did not come to "${wanted}" within ${timeout / 1000} s: ${await text(where).catch(() => "")}`);
      };
      if (!plugins.includes("OMCharacter") || !plugins.includes("OMAccount")) {
        // No player of our own yet: the demo account's player joins.
        await page.goto(`${base}/login.html`);
        await page.fill("#login [name=handle]", "alice");
        await page.fill("#login [name=password]", "wonder1");
        await Promise.all([page.waitForURL("**/index.html"), page.click("#login button")]);
      }
      // Somebody else is first in the full server's line.
      const other = await newVisitor();
      await other.page.goto(`${base}/join.html`);
      await other.page.fill("#join [name=mode]", "Anonymous");
      await other.page.fill("#join [name=rid]", "1");
      await other.page.click("#join button");
      await waitForText(other.page, "Please wait, you are next in line.");

      await page.goto(`${base}/join.html`);
      await page.fill("#join [name=mode]", "Login");
      await page.fill("#join [name=rid]", "1");
      await shoot("join-form");
      await page.click("#join button");
      await waitForText(page, 'Waiting to join "Orbitmere Harbour". Please wait, there is one person in front of you.');
      check(await page.locator("#relay a", { hasText: "Click here to cancel" }).count() === 1, "the waiting page can be left");
      await shoot("join-waiting-second");

      const operator = await context.newPage();
      await operator.goto(`${base}/servers.html`);
      check((await operator.locator("#server-1 .line").innerText()).split("waiting").length - 1 === 2,
        `the servers page shows two in the line: ${await operator.locator("#server-1 .line").innerText()}`);
      await shoot.on(operator, "servers-waiting-line");
      await Promise.all([operator.waitForURL("**/servers.html?note=*"), operator.click("#admit-1 button")]);
      check((await operator.locator("#note").innerText()).includes("may join at its next poll"), "the first in line is let in");

      await waitForText(page, "Please wait, you are next in line.");
      await shoot("join-waiting-next");
      await other.page.waitForURL("**/joined.html?rid=1", { timeout: 20000 });

      // Then the server gets a free place, and the player first in line takes it.
      await operator.goto(`${base}/servers.html`);
      await operator.fill("#places-1 [name=places]", "1");
      await Promise.all([operator.waitForURL("**/servers.html?note=*"), operator.click("#places-1 button")]);
      check((await operator.locator("#server-1 .places").innerText()) === "1", "the server has one free place");
      await page.waitForURL("**/joined.html?rid=1", { timeout: 20000 });
      await operator.goto(`${base}/servers.html`);
      check((await operator.locator("#server-1 .places").innerText()) === "0", "which the admitted player took");
      check((await operator.locator("#server-1 .line").innerText()) === "empty", "and the line is empty");
      check((await text(page)).includes("Server record id: 1"), "the joined page names the server");
      const cookies = await cookieMap(context);
      check(cookies.OMPCID && cookies.OMNAMEINFO, `the identity cookies for the service's own server are set: ${JSON.stringify(cookies)}`);
      await shoot("joined");
      await operator.close();
    },
  },
];

async function main() {
  mkdirSync(screenshotDir, { recursive: true });
  for (const old of readdirSync(screenshotDir).filter((file) => file.endsWith(".png"))) rmSync(join(screenshotDir, old));
  const dataDir = mkdtempSync(join(tmpdir(), "om-journey-data-"));
  const profileDir = mkdtempSync(join(tmpdir(), "om-journey-profile-"));
  demoData(dataDir);
  const server = await startServer(dataDir);
  const others = [];
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
    const shootPage = async (which, name) => {
      shot += 1;
      await which.screenshot({ path: join(screenshotDir, `${String(shot).padStart(2, "0")}-${name}.png`), fullPage: true });
    };
    const shoot = (name) => shootPage(page, name);
    shoot.on = shootPage;
    // Another visitor, with a browser profile of their own.
    const newVisitor = async () => {
      const dir = mkdtempSync(join(tmpdir(), "om-journey-profile-"));
      const other = await chromium.launchPersistentContext(dir, {
        executablePath: chromiumPath, headless: true, args: chromiumFlags, viewport: { width: 1100, height: 800 },
      });
      others.push({ context: other, dir });
      const otherPage = other.pages()[0] || (await other.newPage());
      otherPage.setDefaultTimeout(15000);
      return { context: other, page: otherPage };
    };
    for (const step of steps) {
      const missing = (step.needs || []).filter((name) => !plugins.includes(name));
      if (missing.length > 0) {
        console.log(`skip ${step.name}: ${missing.join(", ")} not built`);
        continue;
      }
      try {
        await step.run({ page, base: server.base, context, server, shoot, plugins, newVisitor });
        console.log(`ok   ${step.name}`);
      } catch (error) {
        failed += 1;
        console.log(`FAIL ${step.name}: ${error.message}`);
        await shoot(`${step.name}-failed`).catch(() => {});
      }
    }
  } finally {
    for (const other of others) {
      await other.context.close().catch(() => {});
      rmSync(other.dir, { recursive: true, force: true });
    }
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
