// The arrival of a tree: loadTreeFrom, which the program calls with the
// address of the tree JSON, initialLoad, which takes the text itself, and
// what the program's tests and benchmarks drive the page with.
"use strict";

{
    const page = window.korvantisTree;
    const {TEXT, hooks, More, hasChildren} = page;

    // The program's texts come from its own scheme, read in place: a script
    // or a channel message carrying them would be a copy, escaped, of a text
    // that may be 100 MB. An address that serves nothing reads as "".
    // XMLHttpRequest: the engine's fetch() knows no schemes of programs.
    page.readText = function (address, then) {
        if (typeof address !== "string" || address.length === 0) {
            then("");
            return;
        }
        const request = new XMLHttpRequest();
        request.open("GET", address);
        request.onload = () => then(request.status === 200 ? request.responseText : "");
        request.onerror = () => then("");
        request.send();
    };

    window.loadTreeFrom = function (address) {
        hooks.fetchedAt = Date.now();
        page.readText(address, (text) => window.initialLoad(text));
    };

    // The worker that reads large trees, made when the first one comes; null
    // when there is none yet or the page cannot have one.
    let worker = null;
    let noWorker = typeof Worker !== "function";
    let asked = 0;       // trees handed to the worker
    let answered = 0;    // trees it has answered for
    let dropBuild = () => {};

    // Reads `text` into flat lists (tree_parse.js) and calls `then` with them
    // and the time that took: a large text in the worker, the page answering
    // meanwhile, a small one (or any when there is no worker) at once.
    function parseTree(text, then) {
        const inPage = () => {
            const start = performance.now();
            const flat = page.flattenTreeText(text);
            hooks.parsedIn = "page";
            then(flat, performance.now() - start);
        };
        if (text.length <= page.PARSE_AT_ONCE || !startWorker()) {
            inPage();
            return;
        }
        if (answered < asked) {
            // Still reading an older tree: the newest one wins.
            worker.terminate();
            worker = null;
            if (!startWorker()) {
                inPage();
                return;
            }
        }
        const id = ++asked;
        worker.onmessage = (event) => {
            answered = event.data.id;
            if (event.data.id === id) {
                hooks.parsedIn = "worker";
                then(event.data.flat, event.data.ms);
            }
        };
        worker.onerror = (event) => {
            // A page whose scheme allows no workers: read here from now on.
            event.preventDefault();
            worker.terminate();
            worker = null;
            noWorker = true;
            answered = asked;
            if (id === asked) {
                inPage();
            }
        };
        worker.postMessage({id, text});
    }

    function startWorker() {
        if (worker === null && !noWorker) {
            try {
                worker = new Worker("tree_parse.js");
            } catch (e) {
                noWorker = true;
            }
            answered = asked;
        }
        return worker !== null;
    }

    window.initialLoad = function (text) {
        hooks.calledAt = Date.now();
        hooks.received = text;
        hooks.calls += 1;
        page.generation += 1;
        hooks.firstDrawnAt = 0;
        hooks.firstPaintedAt = 0;
        dropBuild();
        page.setUp();
        page.clearPicture();
        if (typeof text !== "string" || text.length === 0) {
            page.showMessage(TEXT.noTree);
            return;
        }
        const loaded = page.generation;
        hooks.drawing = true;
        parseTree(text, (flat, parseMs) => {
            if (loaded !== page.generation) {
                return;
            }
            hooks.parseMs = parseMs;
            if (flat.error) {
                hooks.drawing = false;
                page.showMessage(TEXT[flat.error]);
                return;
            }
            const prepareStart = performance.now();
            dropBuild = page.runInSlices(page.nodeSteps(flat), (list) => {
                dropBuild = () => {};
                hooks.prepareMs = performance.now() - prepareStart;
                page.adoptNodes(list, flat);
                const top = list[0];
                hooks.total = list.length;
                page.root = top;
                page.openAtStart(top);
                page.hideMessage();
                page.render(null, page.fitFirstPicture);
                askForFactsAfterPaint();
            });
        });
    };

    // The facts come once the first picture is on the screen.
    function askForFactsAfterPaint() {
        const asked = page.generation;
        requestAnimationFrame(() => setTimeout(() => {
            if (asked === page.generation) {
                page.askForFacts();
            }
        }, 0));
    }

    // For benchmarks: the drawn closed node with the most descendants (its
    // id), and a click on a drawn node given by id; returns whether it was
    // found.
    hooks.biggestClosed = function () {
        let best = null;
        page.drawnGroups().each((d) => {
            const data = d.data;
            if (!(data instanceof More) && !page.isOpen(data) && hasChildren(data) &&
                (best === null || data.__count > best.__count)) {
                best = data;
            }
        });
        return best === null ? -1 : best.__id;
    };
    hooks.expandBelow = function (id) {
        if (page.order[id] === undefined) {
            return false;
        }
        page.expandBelow(page.order[id]);
        return true;
    };
    // A search that a slice does not finish answers 0 here: wait until
    // hooks.searching is false, then read hooks.matches.
    hooks.search = function (text) {
        page.search(String(text), true);
        return hooks.matches;
    };
    hooks.click = function (id) {
        const g = page.drawnGroups().filter((d) => d.data.__id === id).node();
        if (!g) {
            return false;
        }
        g.dispatchEvent(new MouseEvent("click", {bubbles: true, cancelable: true}));
        return true;
    };
}
