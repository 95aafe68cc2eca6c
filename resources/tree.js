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
"use strict";

(function () {
    const ROW = 22;                // vertical distance between neighbours
    const COLUMN = 220;            // horizontal distance between levels
    const PAGE = 100;              // children drawn at once under an open node
    const START_OPEN_LEVELS = 2;   // levels opened when a tree arrives
    const START_BUDGET = 1500;     // nodes drawn when a tree arrives, at most
    const LABEL_MAX = 32;          // characters of a name drawn in full
    const EXPAND_BUDGET = 2000;    // nodes one "Expand all below" may add
    const REVEAL_AT_ONCE = 25;     // search matches whose paths open at once
    const SEARCH_DELAY_MS = 250;   // typing pause before the search runs

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
        lastToggleMs: 0,     // the last open or close, from click to picture
        calledAt: 0,         // Date.now() when initialLoad was last called
        parseMs: 0,          // JSON.parse of the last tree
        prepareMs: 0,        // checking the tree and counting descendants
        message: "",         // the message shown instead of a tree
        facts: "none",       // "none", "asked", "ready" or "unusable"
        canShowEvents: false, // whether "Show events" can reach its window
        matches: 0,          // nodes the search found
        current: -1,         // index of the current match
        shownEvents: null,   // the pid last sent to "Show events"
        factsAt: 0,          // Date.now() when the facts were in use
        factsMs: 0,          // JSON.parse of the facts
        lastSearchMs: 0,     // the last search, from query to picture
        lifetime: null,      // the last lifetime a tooltip showed
    };
    window.__korvantis = hooks;

    let svg = null;
    let viewport = null;
    let linkLayer = null;
    let nodeLayer = null;
    let zoom = null;
    let root = null;

    function formatCount(n) {
        return n.toLocaleString("en-US");
    }

    let order = [];       // every node, in the tree JSON's order (index = __id)
    let parentOf = [];    // by __id: the parent's __id, -1 for the root
    let placeOf = [];     // by __id: the index among its siblings
    let facts = null;     // [pid, ppid, path, descendants, place] per node, or null
    let generation = 0;   // initialLoad calls; late answers of older trees are dropped
    let bridge = null;    // the window's channel object, once connected
    let matches = [];
    let matchSet = new Set();
    let current = -1;
    let searched = "";    // the query the matches belong to

    function setUp() {
        if (svg) {
            return;
        }
        svg = d3.select("#tree");
        viewport = svg.append("g").attr("class", "viewport");
        linkLayer = viewport.append("g").attr("class", "links");
        nodeLayer = viewport.append("g").attr("class", "nodes");
        zoom = d3.zoom()
            .scaleExtent([0.02, 4])
            .on("start", hidePopups)
            .on("zoom", (event) => viewport.attr("transform", event.transform));
        svg.call(zoom).on("dblclick.zoom", null);
    }

    function showMessage(text) {
        hooks.message = text;
        const box = document.getElementById("message");
        box.textContent = text;
        box.hidden = false;
    }

    function hideMessage() {
        hooks.message = "";
        document.getElementById("message").hidden = true;
    }

    function setStatus(text) {
        document.getElementById("status").textContent = text;
    }

    function clearPicture() {
        root = null;
        order = [];
        parentOf = [];
        placeOf = [];
        facts = null;
        hooks.facts = "none";
        views = new Map();
        clearSearch();
        setStatus("");
        hidePopups();
        linkLayer.selectAll("*").remove();
        nodeLayer.selectAll("*").remove();
        hooks.drawn = 0;
        hooks.total = 0;
    }

    // Checks that `top` is a tree of {name, children?} objects, lists its
    // nodes in the tree JSON's order, notes each node's parent and its index
    // among its siblings, and writes into every node its place in the list
    // and the number of its descendants. Returns false for anything else.
    function prepare(top) {
        const list = [];
        const parents = [];
        const places = [];
        const stack = [top];
        const stackParents = [-1];
        const stackPlaces = [0];
        while (stack.length > 0) {
            const node = stack.pop();
            const parent = stackParents.pop();
            const place = stackPlaces.pop();
            if (node === null || typeof node !== "object" || Array.isArray(node) ||
                typeof node.name !== "string") {
                return false;
            }
            const kids = node.children;
            if (kids !== undefined && !Array.isArray(kids)) {
                return false;
            }
            const id = list.length;
            node.__id = id;
            list.push(node);
            parents.push(parent);
            places.push(place);
            if (kids) {
                for (let i = kids.length - 1; i >= 0; i--) {
                    stack.push(kids[i]);
                    stackParents.push(id);
                    stackPlaces.push(i);
                }
            }
        }
        // Children come after their parent in the list, so one backward pass
        // sums every subtree.
        for (let i = list.length - 1; i >= 0; i--) {
            const node = list[i];
            const kids = node.children;
            let count = 0;
            if (kids) {
                for (let j = 0; j < kids.length; j++) {
                    count += 1 + kids[j].__count;
                }
            }
            node.__count = count;
        }
        order = list;
        parentOf = parents;
        placeOf = places;
        return true;
    }

    const hasChildren = (node) => Array.isArray(node.children) && node.children.length > 0;

    // The facts of a node, or null while there are none.
    const factsOf = (node) => (facts && !(node instanceof More) ? facts[node.__id] : null);

    // What the user has opened: only nodes ever opened have an entry, with
    // how many of their children are drawn, the children beyond those that a
    // search brought into view, and the stand-in for the rest.
    let views = new Map();

    function viewOf(node) {
        let view = views.get(node);
        if (view === undefined) {
            view = {open: false, shown: 0, pinned: null, more: null};
            views.set(node, view);
        }
        return view;
    }

    function isOpen(node) {
        const view = views.get(node);
        return view !== undefined && view.open;
    }

    function open(node) {
        const view = viewOf(node);
        view.open = true;
        if (view.shown === 0) {
            view.shown = Math.min(node.children.length, PAGE);
        }
    }

    // What opening `node` adds to the picture: its first page of children
    // and the stand-in for the rest.
    function openingCost(node) {
        const n = node.children.length;
        return Math.min(n, PAGE) + (n > PAGE ? 1 : 0);
    }

    // Opens the first levels, breadth first, while the picture stays small.
    function openAtStart(top) {
        let budget = START_BUDGET - 1;
        let level = [top];
        for (let depth = 0; depth < START_OPEN_LEVELS && level.length > 0; depth++) {
            const next = [];
            for (const node of level) {
                if (!hasChildren(node)) {
                    continue;
                }
                const cost = openingCost(node);
                if (cost > budget) {
                    continue;
                }
                budget -= cost;
                open(node);
                for (let i = 0; i < views.get(node).shown; i++) {
                    next.push(node.children[i]);
                }
            }
            level = next;
        }
    }

    // The stand-in for the children of a node that are not drawn yet. Only
    // the page makes these; no parsed JSON value can pass for one.
    class More {
        constructor(node) {
            this.moreOf = node;
            this.__id = "more" + node.__id;
            this.name = "";
        }
    }

    // The children drawn under an open node: its first `shown` children,
    // then those a search pinned, in list order.
    function visibleChildren(node, view) {
        const kids = node.children;
        if (view.shown >= kids.length) {
            return kids;
        }
        const list = kids.slice(0, view.shown);
        if (view.pinned) {
            const extra = [...view.pinned].filter((k) => placeOf[k.__id] >= view.shown);
            extra.sort((a, b) => placeOf[a.__id] - placeOf[b.__id]);
            for (const k of extra) {
                list.push(k);
            }
        }
        return list;
    }

    function drawnChildren(node) {
        const view = views.get(node);
        if (view === undefined || !view.open || !hasChildren(node)) {
            return null;
        }
        const list = visibleChildren(node, view);
        const rest = node.children.length - list.length;
        if (rest > 0) {
            if (!view.more) {
                view.more = new More(node);
            }
            view.more.name = TEXT.more(rest);
            return list.concat([view.more]);
        }
        return list;
    }

    function nodeClass(d) {
        const data = d.data;
        if (data instanceof More) {
            return "node more";
        }
        let name = !hasChildren(data) ? "node leaf" : isOpen(data) ? "node open" : "node closed";
        if (matchSet.has(data)) {
            name += current >= 0 && matches[current] === data ? " match current" : " match";
        }
        return name;
    }

    // Characters that act unseen (bidirectional controls such as U+202E,
    // other invisible format and control characters) are drawn as visible
    // marks, "\u27e8U+202E\u27e9", in a muted colour, so that no name can pass
    // for another.
    const UNSEEN = /[\p{Cf}\p{Cc}\u2028\u2029]/u;

    function unseenMark(ch) {
        const hex = ch.codePointAt(0).toString(16).toUpperCase().padStart(4, "0");
        return "\u27e8U+" + hex + "\u27e9";
    }

    // Fills `el` with `text`, each unseen character as a muted mark: an
    // element made by `makeMark` with the class "unseen".
    function setMarkedText(el, text, makeMark) {
        el.replaceChildren();
        let plain = "";
        for (const ch of text) {
            if (!UNSEEN.test(ch)) {
                plain += ch;
                continue;
            }
            if (plain) {
                el.appendChild(document.createTextNode(plain));
                plain = "";
            }
            const mark = makeMark();
            mark.setAttribute("class", "unseen");
            mark.textContent = unseenMark(ch);
            el.appendChild(mark);
        }
        if (plain) {
            el.appendChild(document.createTextNode(plain));
        }
    }

    const svgMark = () => document.createElementNS("http://www.w3.org/2000/svg", "tspan");
    const htmlMark = () => document.createElement("span");

    function shortName(name) {
        return name.length > LABEL_MAX ? name.slice(0, LABEL_MAX - 1) + "\u2026" : name;
    }

    function linkPath(d) {
        const sx = d.parent.y;
        const sy = d.parent.x;
        const tx = d.y;
        const ty = d.x;
        const mx = (sx + tx) / 2;
        return "M" + sx + "," + sy + "C" + mx + "," + sy + " " + mx + "," + ty + " " + tx + "," + ty;
    }

    // Lays out and draws the open part of the tree. When `anchor` is given,
    // the view moves so that this node stays where it was on the screen.
    function render(anchor) {
        const start = performance.now();
        const before = anchor && anchor.__x !== undefined ? [anchor.__x, anchor.__y] : null;

        const layoutRoot = d3.hierarchy(root, drawnChildren);
        d3.tree()
            .nodeSize([ROW, COLUMN])
            .separation((a, b) => (a.parent === b.parent ? 1 : 1.3))(layoutRoot);
        const nodes = layoutRoot.descendants();
        for (const d of nodes) {
            d.data.__x = d.x;
            d.data.__y = d.y;
        }

        linkLayer.selectAll("path")
            .data(nodes.slice(1), (d) => d.data.__id)
            .join("path")
            .attr("class", "link")
            .attr("d", linkPath);

        nodeLayer.selectAll("g")
            .data(nodes, (d) => d.data.__id)
            .join((enter) => {
                const g = enter.append("g");
                g.append("circle").attr("r", 4.5);
                const text = g.append("text").attr("x", 8).attr("dy", "0.32em");
                text.append("tspan").attr("class", "name");
                text.append("tspan").attr("class", "pid");
                text.append("tspan").attr("class", "count");
                g.on("click", (event, d) => {
                    event.stopPropagation();
                    hidePopups();
                    toggle(d.data);
                });
                g.on("dblclick", (event, d) => {
                    event.stopPropagation();
                    showEvents(d.data);
                });
                g.on("contextmenu", (event, d) => {
                    event.preventDefault();
                    event.stopPropagation();
                    openMenu(event, d.data);
                });
                g.on("mouseenter", (event, d) => showTooltip(event, d.data));
                g.on("mousemove", (event) => placeAtPointer(tooltipBox(), event));
                g.on("mouseleave", hideTooltip);
                return g;
            })
            .attr("class", nodeClass)
            .attr("transform", (d) => "translate(" + d.y + "," + d.x + ")")
            .each(function (d) {
                const data = d.data;
                const g = d3.select(this);
                const more = data instanceof More;
                const closed = !more && !isOpen(data) && hasChildren(data);
                const f = factsOf(data);
                setMarkedText(g.select("tspan.name").node(),
                              more ? data.name : shortName(data.name), svgMark);
                g.select("tspan.pid").text(f ? " " + f[0] : "");
                g.select("tspan.count").text(closed ? " (" + formatCount(data.__count) + ")" : "");
            });

        if (before) {
            zoom.translateBy(svg, before[1] - anchor.__y, before[0] - anchor.__x);
        }

        hooks.drawn = nodes.length;
        hooks.pictures += 1;
        hooks.drawnAt = Date.now();
        hooks.lastRenderMs = performance.now() - start;
        const picture = hooks.pictures;
        const first = hooks.firstDrawnAt === 0;
        if (first) {
            hooks.firstDrawnAt = hooks.drawnAt;
        }
        requestAnimationFrame(() => setTimeout(() => {
            if (first && hooks.firstPaintedAt === 0) {
                hooks.firstPaintedAt = Date.now();
            }
            if (hooks.pictures === picture) {
                hooks.paintedAt = Date.now();
            }
        }, 0));
    }

    function toggle(data) {
        const start = performance.now();
        let anchor = data;
        if (data instanceof More) {
            const parent = data.moreOf;
            const view = viewOf(parent);
            view.shown = Math.min(parent.children.length, view.shown + PAGE);
            anchor = parent;
        } else if (!hasChildren(data)) {
            return;
        } else if (isOpen(data)) {
            viewOf(data).open = false;
        } else {
            open(data);
        }
        render(anchor);
        hooks.lastToggleMs = performance.now() - start;
    }

    // Opens every node below `node`, breadth first, a page of children at a
    // time, until the next one would take the picture over its budget.
    function expandBelow(node) {
        const start = performance.now();
        let budget = EXPAND_BUDGET;
        let added = 0;
        let stopped = false;
        const queue = [node];
        for (let head = 0; head < queue.length; head++) {
            const n = queue[head];
            if (!hasChildren(n)) {
                continue;
            }
            if (!isOpen(n)) {
                const cost = openingCost(n);
                if (cost > budget) {
                    stopped = true;
                    break;
                }
                budget -= cost;
                added += cost;
                open(n);
            }
            for (const k of visibleChildren(n, views.get(n))) {
                queue.push(k);
            }
        }
        setStatus(stopped ? TEXT.expandedPartly(added) : TEXT.expandedAll(added));
        render(node);
        hooks.lastToggleMs = performance.now() - start;
    }

    // Closes `node` and every open node below it.
    function collapse(node) {
        const stack = [node];
        while (stack.length > 0) {
            const n = stack.pop();
            const view = views.get(n);
            if (view === undefined || !view.open) {
                continue;
            }
            view.open = false;
            for (const k of visibleChildren(n, view)) {
                stack.push(k);
            }
        }
        setStatus("");
        render(node);
    }

    // The extent of the drawn nodes in layout coordinates.
    function drawnExtent() {
        let top = 0;
        let bottom = 0;
        let right = 0;
        nodeLayer.selectAll("g").each((d) => {
            top = Math.min(top, d.x);
            bottom = Math.max(bottom, d.x);
            right = Math.max(right, d.y);
        });
        return {top, bottom, right};
    }

    function stageSize() {
        const box = svg.node();
        return [box.clientWidth || window.innerWidth || 800,
            box.clientHeight || window.innerHeight || 600];
    }

    // Fits the first picture into the window, within readable scales; what
    // does not fit stays centred on the root.
    function fitFirstPicture() {
        const [width, height] = stageSize();
        const {top, bottom, right} = drawnExtent();
        const margin = 40;
        const spanX = bottom - top + ROW;
        const spanY = right + COLUMN;
        const k = Math.max(0.75, Math.min(1, (height - margin) / spanX, (width - margin) / spanY));
        const middle = k * spanX <= height - margin ? (top + bottom) / 2 : 0;
        svg.call(zoom.transform, d3.zoomIdentity.translate(margin, height / 2 - k * middle).scale(k));
    }

    // "Fit to window": the whole picture, however small that makes it.
    function fitToWindow() {
        if (!root) {
            return;
        }
        const [width, height] = stageSize();
        const {top, bottom, right} = drawnExtent();
        const margin = 20;
        const spanX = bottom - top + ROW;
        const spanY = right + COLUMN;
        const [low, high] = zoom.scaleExtent();
        const k = Math.max(low, Math.min(high, 1.5, (height - 2 * margin) / spanX,
            (width - 2 * margin) / spanY));
        const x = (width - k * spanY) / 2 + margin / 2;
        const y = height / 2 - k * (top + bottom) / 2;
        svg.call(zoom.transform, d3.zoomIdentity.translate(x, y).scale(k));
    }

    // --- Facts from the window --------------------------------------------

    function connectChannel() {
        if (typeof QWebChannel !== "function" || typeof qt === "undefined" ||
            !qt.webChannelTransport) {
            return;
        }
        new QWebChannel(qt.webChannelTransport, (channel) => {
            bridge = channel.objects.treeWindow || null;
            if (!bridge) {
                return;
            }
            const follow = () => {
                hooks.canShowEvents = !!bridge.canShowEvents;
                updateMenu();
            };
            bridge.canShowEventsChanged.connect(follow);
            follow();
            askForFacts();
        });
    }

    // Asks the window for the facts of the current tree, once per tree. They
    // arrive after the first picture and are zipped with the nodes by order;
    // facts of another length belong to another tree and are not used.
    function askForFacts() {
        if (!bridge || !root || hooks.facts !== "none") {
            return;
        }
        hooks.facts = "asked";
        const asked = generation;
        bridge.facts((text) => {
            if (asked !== generation) {
                return;
            }
            let list = null;
            const parseStart = performance.now();
            try {
                list = typeof text === "string" && text.length > 0 ? JSON.parse(text) : null;
            } catch (e) {
                list = null;
            }
            hooks.factsMs = performance.now() - parseStart;
            if (Array.isArray(list) && list.length === order.length) {
                facts = list;
                render(null);
                hooks.facts = "ready";
                hooks.factsAt = Date.now();
                if (searched !== "") {
                    const query = searched;
                    searched = "";
                    search(query, false);
                }
            } else {
                hooks.facts = "unusable";
            }
        });
    }

    function showEvents(node) {
        const f = factsOf(node);
        if (!bridge || !hooks.canShowEvents || !f) {
            return;
        }
        hooks.shownEvents = f[0];
        bridge.showEvents(f[0]);
    }

    // --- Tooltip and context menu -------------------------------------------

    const tooltipBox = () => document.getElementById("tooltip");
    const menuBox = () => document.getElementById("menu");

    function placeAtPointer(box, event) {
        const x = Math.min(event.clientX + 14, window.innerWidth - box.offsetWidth - 4);
        const y = Math.min(event.clientY + 14, window.innerHeight - box.offsetHeight - 4);
        box.style.left = Math.max(0, x) + "px";
        box.style.top = Math.max(0, y) + "px";
    }

    function addLine(box, label, value) {
        const line = document.createElement("div");
        if (label === null) {
            line.className = "title";
        } else {
            const span = document.createElement("span");
            span.className = "label";
            span.textContent = label + ": ";
            line.appendChild(span);
        }
        const text = document.createElement("span");
        setMarkedText(text, value, htmlMark);
        line.appendChild(text);
        box.appendChild(line);
    }

    function showTooltip(event, node) {
        if (node instanceof More || !menuBox().hidden) {
            return;
        }
        const box = tooltipBox();
        box.replaceChildren();
        addLine(box, null, node.name);
        const f = factsOf(node);
        if (f) {
            addLine(box, TEXT.pid, String(f[0]));
            addLine(box, TEXT.ppid, String(f[1]));
            addLine(box, TEXT.path, f[2]);
        }
        addLine(box, TEXT.descendants, formatCount(f ? f[3] : node.__count));
        box.hidden = false;
        placeAtPointer(box, event);
        const shown = ++tooltips;
        if (f && f.length > 4 && f[4] >= 0 && bridge && hooks.canShowEvents) {
            // The window answers later; by then another tooltip may show.
            bridge.lifetime(f[4], (text) => {
                if (shown === tooltips && typeof text === "string" && text !== "") {
                    addLine(box, TEXT.lifetime, text);
                    hooks.lifetime = text;
                }
            });
        }
    }

    let tooltips = 0;  // tooltips shown or hidden, to drop late answers

    function hideTooltip() {
        ++tooltips;
        tooltipBox().hidden = true;
    }

    let menuNode = null;

    function updateMenu() {
        const node = menuNode;
        for (const button of menuBox().querySelectorAll("button")) {
            const action = button.dataset.action;
            button.disabled = node === null ||
                (action === "expand" && !hasChildren(node)) ||
                (action === "collapse" && !isOpen(node)) ||
                (action === "events" && !(hooks.canShowEvents && factsOf(node)));
        }
    }

    function openMenu(event, node) {
        hideTooltip();
        if (node instanceof More) {
            return;
        }
        menuNode = node;
        updateMenu();
        const box = menuBox();
        box.hidden = false;
        placeAtPointer(box, event);
    }

    function hidePopups() {
        menuNode = null;
        menuBox().hidden = true;
        hideTooltip();
    }

    function onMenuClick(event) {
        const button = event.target.closest("button");
        const node = menuNode;
        if (!button || button.disabled || node === null) {
            return;
        }
        hidePopups();
        const action = button.dataset.action;
        if (action === "expand") {
            expandBelow(node);
        } else if (action === "collapse") {
            collapse(node);
        } else if (action === "events") {
            showEvents(node);
        }
    }

    // --- Search --------------------------------------------------------------

    function clearSearch() {
        matches = [];
        matchSet = new Set();
        current = -1;
        searched = "";
        hooks.matches = 0;
        hooks.current = -1;
        document.getElementById("found").textContent = "";
    }

    // Makes `node` drawn: opens every node above it and pins it, and each
    // node above it, among its siblings when it lies beyond the drawn page.
    function reveal(node) {
        let child = node;
        for (let up = parentOf[node.__id]; up >= 0; up = parentOf[up]) {
            const parent = order[up];
            const view = viewOf(parent);
            if (!view.open) {
                open(parent);
            }
            if (placeOf[child.__id] >= view.shown) {
                if (!view.pinned) {
                    view.pinned = new Set();
                }
                view.pinned.add(child);
            }
            child = parent;
        }
    }

    function showCurrent() {
        const found = document.getElementById("found");
        hooks.current = current;
        found.textContent = matches.length === 0 ? TEXT.noMatch
                                                 : TEXT.matchOf(current + 1, matches.length);
        if (current < 0) {
            render(null);
            return;
        }
        const node = matches[current];
        reveal(node);
        render(null);
        zoom.translateTo(svg, node.__y, node.__x);
    }

    // Finds the nodes whose name holds `query` (ignoring case) or whose pid
    // is `query`, opens the paths to the first of them and shows the first.
    function search(query, moveView) {
        const text = query.trim();
        if (text === searched) {
            return;
        }
        clearSearch();
        searched = text;
        if (text === "" || !root) {
            if (root) {
                render(null);
            }
            return;
        }
        const start = performance.now();
        const lower = text.toLowerCase();
        const pid = /^[0-9]+$/.test(text) ? Number(text) : null;
        for (let i = 0; i < order.length; i++) {
            const node = order[i];
            if ((pid !== null && facts && facts[i][0] === pid) ||
                node.name.toLowerCase().includes(lower)) {
                matches.push(node);
            }
        }
        matchSet = new Set(matches);
        hooks.matches = matches.length;
        for (let i = 0; i < matches.length && i < REVEAL_AT_ONCE; i++) {
            reveal(matches[i]);
        }
        current = matches.length > 0 ? 0 : -1;
        if (moveView) {
            showCurrent();
        } else {
            hooks.current = current;
            render(null);
        }
        hooks.lastSearchMs = performance.now() - start;
    }

    function step(by) {
        if (matches.length === 0) {
            return;
        }
        current = (current + by + matches.length) % matches.length;
        showCurrent();
    }

    let searchTimer = 0;

    function onSearchInput(event) {
        clearTimeout(searchTimer);
        const input = event.target;
        searchTimer = setTimeout(() => search(input.value, true), SEARCH_DELAY_MS);
    }

    function onSearchKey(event) {
        if (event.key === "Enter") {
            event.preventDefault();
            clearTimeout(searchTimer);
            const text = event.target.value.trim();
            if (text !== searched) {
                search(text, true);
            } else {
                step(event.shiftKey ? -1 : 1);
            }
        } else if (event.key === "Escape") {
            event.target.value = "";
            clearTimeout(searchTimer);
            search("", true);
        }
    }

    // --- Arrival of a tree -----------------------------------------------------

    window.initialLoad = function (text) {
        hooks.calledAt = Date.now();
        hooks.received = text;
        hooks.calls += 1;
        generation += 1;
        hooks.firstDrawnAt = 0;
        hooks.firstPaintedAt = 0;
        setUp();
        clearPicture();
        if (typeof text !== "string" || text.length === 0) {
            showMessage(TEXT.noTree);
            return;
        }
        let parsed;
        const parseStart = performance.now();
        try {
            parsed = JSON.parse(text);
        } catch (e) {
            showMessage(e instanceof RangeError ? TEXT.tooDeep : TEXT.unreadable);
            return;
        }
        hooks.parseMs = performance.now() - parseStart;
        const top = Array.isArray(parsed) && parsed.length === 1 ? parsed[0] : parsed;
        const prepareStart = performance.now();
        const isTree = top !== null && typeof top === "object" && prepare(top);
        hooks.prepareMs = performance.now() - prepareStart;
        if (!isTree) {
            showMessage(TEXT.notATree);
            return;
        }
        hooks.total = order.length;
        root = top;
        openAtStart(root);
        hideMessage();
        render(null);
        fitFirstPicture();
        // The facts come once the first picture is on the screen.
        const asked = generation;
        requestAnimationFrame(() => setTimeout(() => {
            if (asked === generation) {
                askForFacts();
            }
        }, 0));
    };

    document.addEventListener("DOMContentLoaded", () => {
        const input = document.getElementById("search");
        input.addEventListener("input", onSearchInput);
        input.addEventListener("keydown", onSearchKey);
        document.getElementById("fit").addEventListener("click", fitToWindow);
        const menu = menuBox();
        menu.addEventListener("click", onMenuClick);
        menu.addEventListener("contextmenu", (event) => event.preventDefault());
        document.addEventListener("click", (event) => {
            if (!menu.contains(event.target)) {
                hidePopups();
            }
        });
        document.addEventListener("keydown", (event) => {
            if (event.key === "Escape") {
                hidePopups();
            }
        });
        connectChannel();
    });

    // For benchmarks: the drawn closed node with the most descendants (its
    // id), and a click on a drawn node given by id; returns whether it was
    // found.
    hooks.biggestClosed = function () {
        let best = null;
        nodeLayer.selectAll("g").each((d) => {
            const data = d.data;
            if (!(data instanceof More) && !isOpen(data) && hasChildren(data) &&
                (best === null || data.__count > best.__count)) {
                best = data;
            }
        });
        return best === null ? -1 : best.__id;
    };
    hooks.expandBelow = function (id) {
        if (order[id] === undefined) {
            return false;
        }
        expandBelow(order[id]);
        return true;
    };
    hooks.search = function (text) {
        search(String(text), true);
        return hooks.matches;
    };
    hooks.click = function (id) {
        const g = nodeLayer.selectAll("g").filter((d) => d.data.__id === id).node();
        if (!g) {
            return false;
        }
        g.dispatchEvent(new MouseEvent("click", {bubbles: true, cancelable: true}));
        return true;
    };
})();
