// The process tree page. The program calls initialLoad(text) with the tree
// JSON after every finished navigation; the page draws it as a collapsible,
// zoomable tidy tree. Only the open part of the tree is laid out and drawn,
// and every walk over the whole tree is a loop, so trees of any size or depth
// stay responsive. Names are only ever set as text, never parsed as markup.
//
// The tree JSON holds names and nesting only. When the page runs in a tree
// window, the window's channel object ("treeWindow") hands over the facts of
// every node (pid, ppid, path, descendants and the place of its line, in the
// tree JSON's node order) and leads back to the events of a process, and to
// how its run ended, in the main window that opened the tree, while that
// window lives.
//
// The page's scripts, loaded in this order by tree.html, each do one job:
//   tree_page.js         what they share: tunables, texts, hooks, the tree
//   tree_parse.js        the tree JSON read into flat lists (also a worker)
//   tree_layout.js       the tree's nodes and which of them are open
//   tree_tidy.js         the tidy layout of the open part, in slices
//   tree_draw.js         the picture: layout, drawing, messages, fitting
//   tree_channel.js      the window's channel: facts and "Show events"
//   tree_search.js       the search field and its matches
//   tree_interaction.js  clicks, the tooltip, the context menu, keys
//   tree_load.js         the arrival of a tree, and hooks for tests
// They share one object, window.korvantisTree: each script keeps its own
// state inside a block and adds to the object what the others call. They
// reach each other's functions through it only once the page runs (a tree
// arrives, the user acts), so the order matters for this file alone, whose
// parts the others take as they load.
"use strict";

{
    // Every text the page writes.
    const TEXT = {
        noTree: "No process tree to show yet: import a log, then press Tree.",
        tooDeep: "This process tree is too deep to be read.",
        unreadable: "This process tree could not be read.",
        notATree: "This is not a process tree.",
        more: (n) => "+ " + formatCount(n) + " more",
        pid: "pid",
        ppid: "ppid",
        path: "path",
        descendants: "descendants",
        lifetime: "lifetime",
        level: "level",
        rules: "rules",
        noMatch: "No match",
        matchOf: (i, n) => formatCount(i) + " of " + formatCount(n),
        expandedPartly: (n) => "Opened " + formatCount(n) +
            " nodes; the rest below does not fit in the picture at once.",
        expandedAll: (n) => "Opened " + formatCount(n) + (n === 1 ? " node." : " nodes."),
    };

    // Read by the program's tests and benchmarks; the page never reads them.
    const hooks = {
        received: null,      // the last argument of initialLoad
        calls: 0,            // initialLoad calls since this page was loaded
        total: 0,            // nodes in the tree
        drawn: 0,            // nodes in the current picture
        pictures: 0,         // pictures made since this page was loaded
        drawnAt: 0,          // Date.now() when the current picture was made
        paintedAt: 0,        // Date.now() after the frame that showed it
        firstDrawnAt: 0,     // drawnAt of the first picture of the current tree
        firstPaintedAt: 0,   // paintedAt of the first picture of the current tree
        lastRenderMs: 0,     // layout and drawing of the current picture
        drawing: false,      // whether a picture is being laid out or drawn
        lastToggleMs: 0,     // the last open or close, from click to picture
        fetchedAt: 0,        // Date.now() when loadTreeFrom asked for the text
        calledAt: 0,         // Date.now() when initialLoad was last called
        parseMs: 0,          // reading the last tree's JSON into flat lists
        prepareMs: 0,        // making its nodes from those lists
        parsedIn: "",        // where it was read: "page" or "worker"
        message: "",         // the message shown instead of a tree
        facts: "none",       // "none", "asked", "ready" or "unusable"
        canShowEvents: false, // whether "Show events" can reach its window
        matches: 0,          // nodes the search found
        current: -1,         // index of the current match
        shownEvents: null,   // the pid last sent to "Show events"
        factsAt: 0,          // Date.now() when the facts were in use
        factsMs: 0,          // JSON.parse of the facts
        lastSearchMs: 0,     // the last search, from query to picture
        searching: false,    // whether a search is still going through the tree
        lifetime: null,      // the last lifetime a tooltip showed
        marks: -1,           // nodes the window marks, -1 before the marks arrive
        marksAt: 0,          // Date.now() when the marks were in use
    };
    window.__korvantis = hooks;

    // A count with a comma every three digits, as "en-US" writes it:
    // toLocaleString took a tenth of a second the first time, and each
    // label of a large picture paid for it again.
    function formatCount(n) {
        return String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ",");
    }

    // The stand-in for the children of a node that are not drawn yet. Only
    // the page makes these; no parsed JSON value can pass for one.
    class More {
        constructor(node) {
            this.moreOf = node;
            this.__id = "more" + node.__id;
            this.name = "";
            this.__x = undefined;
            this.__y = undefined;
        }
    }

    const hasChildren = (node) => Array.isArray(node.children) && node.children.length > 0;

    const page = {
        ROW: 22,                // vertical distance between neighbours
        COLUMN: 220,            // horizontal distance between levels
        PAGE: 100,              // children drawn at once under an open node
        START_OPEN_LEVELS: 2,   // levels opened when a tree arrives
        START_BUDGET: 1500,     // nodes drawn when a tree arrives, at most
        LABEL_MAX: 32,          // characters of a name drawn in full
        EXPAND_BUDGET: 2000,    // nodes one "Expand all below" may add
        REVEAL_AT_ONCE: 25,     // search matches whose paths open at once
        SEARCH_DELAY_MS: 250,   // typing pause before the search runs
        PARSE_AT_ONCE: 1 << 20, // characters of tree JSON the page reads itself
        SLICE_MS: 15,           // work done before the page answers again
        LABEL_SCALE: 0.4,       // zoomed out below this, labels are too small to read

        TEXT,
        hooks,
        formatCount,
        More,
        hasChildren,

        // The current tree, shared by every script.
        root: null,       // the top node, or null while no tree is shown
        order: [],        // every node, in the tree JSON's order (index = __id)
        facts: null,      // [pid, ppid, path, descendants, place] per node, or null
        generation: 0,    // initialLoad calls; late answers of older trees are dropped
        bridge: null,     // the window's channel object, once connected
        marks: null,      // place -> [place, level, titles, highlight], or null
        markColours: null, // {levels: {level: colour}, highlights: [colour]}
    };

    // When the work of the current task is to stop, or -1 between tasks.
    // One budget for every piece of work a task runs: "Expand all below"
    // opens nodes, lays them out and draws in one task, and each taking a
    // whole slice of its own held the page three times as long.
    let deadline = -1;
    page.taskDeadline = function () {
        if (deadline < 0) {
            deadline = performance.now() + page.SLICE_MS;
            // Microtasks run as the task ends: the next task has a budget of its own.
            queueMicrotask(() => {
                deadline = -1;
            });
        }
        return deadline;
    };
    page.taskSpent = () => performance.now() >= page.taskDeadline();

    // Runs the generator `steps` (which yields every few hundred nodes) a
    // slice at a time, within the budget of the task (SLICE_MS), the page
    // answering in between, and calls `done` with what it returns. What fits
    // in the task's budget is done before this returns; every slice takes
    // one step at least. Returns a function that drops the work not done yet.
    page.runInSlices = function (steps, done) {
        let timer = 0;
        const slice = () => {
            timer = 0;
            const end = page.taskDeadline();
            for (;;) {
                const step = steps.next();
                if (step.done) {
                    done(step.value);
                    return;
                }
                if (performance.now() >= end) {
                    break;
                }
            }
            timer = setTimeout(slice, 0);
        };
        slice();
        return () => clearTimeout(timer);
    };

    // The facts of a node, or null while there are none.
    page.factsOf = (node) => (page.facts && !(node instanceof More) ? page.facts[node.__id] : null);

    // What the window marks on a node (rule hits, a highlight), or null.
    page.markOf = (node) => {
        const f = page.marks ? page.factsOf(node) : null;
        return (f && f.length > 4 && page.marks.get(f[4])) || null;
    };

    window.korvantisTree = page;
}
