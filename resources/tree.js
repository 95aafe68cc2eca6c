// The process tree page. The program calls initialLoad(text) with the tree
// JSON after every finished navigation; the page draws it as a collapsible,
// zoomable tidy tree. Only the open part of the tree is laid out and drawn,
// and every walk over the whole tree is a loop, so trees of any size or depth
// stay responsive. Names are only ever set as text, never parsed as markup.
"use strict";

(function () {
    const ROW = 22;                // vertical distance between neighbours
    const COLUMN = 220;            // horizontal distance between levels
    const PAGE = 100;              // children drawn at once under an open node
    const START_OPEN_LEVELS = 2;   // levels opened when a tree arrives
    const START_BUDGET = 1500;     // nodes drawn when a tree arrives, at most
    const LABEL_MAX = 32;          // characters of a name drawn in full

    // Read by the program's tests and benchmarks; the page never reads them.
    const hooks = {
        received: null,      // the last argument of initialLoad
        calls: 0,            // initialLoad calls since this page was loaded
        total: 0,            // nodes in the tree
        drawn: 0,            // nodes in the current picture
        pictures: 0,         // pictures made since this page was loaded
        drawnAt: 0,          // Date.now() when the current picture was made
        paintedAt: 0,        // Date.now() after the frame that showed it
        lastRenderMs: 0,     // layout and drawing of the current picture
        lastToggleMs: 0,     // the last open or close, from click to picture
        calledAt: 0,         // Date.now() when initialLoad was last called
        parseMs: 0,          // JSON.parse of the last tree
        prepareMs: 0,        // checking the tree and counting descendants
        message: "",         // the message shown instead of a tree
    };
    window.__korvantis = hooks;

    let svg = null;
    let viewport = null;
    let linkLayer = null;
    let nodeLayer = null;
    let zoom = null;
    let root = null;

    const formatCount = (n) => n.toLocaleString("en-US");

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

    function clearPicture() {
        root = null;
        views = new Map();
        linkLayer.selectAll("*").remove();
        nodeLayer.selectAll("*").remove();
        hooks.drawn = 0;
        hooks.total = 0;
    }

    // Checks that `top` is a tree of {name, children?} objects and writes an
    // id and the number of descendants into every node. Returns the number of
    // nodes, or -1 for anything else.
    function prepare(top) {
        const order = [];
        const stack = [top];
        while (stack.length > 0) {
            const node = stack.pop();
            if (node === null || typeof node !== "object" || Array.isArray(node) ||
                typeof node.name !== "string") {
                return -1;
            }
            const kids = node.children;
            if (kids !== undefined && !Array.isArray(kids)) {
                return -1;
            }
            node.__id = order.length;
            order.push(node);
            if (kids) {
                for (let i = kids.length - 1; i >= 0; i--) {
                    stack.push(kids[i]);
                }
            }
        }
        // Children come after their parent in `order`, so one backward pass
        // sums every subtree.
        for (let i = order.length - 1; i >= 0; i--) {
            const node = order[i];
            const kids = node.children;
            let count = 0;
            if (kids) {
                for (let j = 0; j < kids.length; j++) {
                    count += 1 + kids[j].__count;
                }
            }
            node.__count = count;
        }
        return order.length;
    }

    const hasChildren = (node) => Array.isArray(node.children) && node.children.length > 0;

    // What the user has opened: only nodes ever opened have an entry, with
    // how many of their children are drawn and the stand-in for the rest.
    let views = new Map();

    function viewOf(node) {
        let view = views.get(node);
        if (view === undefined) {
            view = {open: false, shown: 0, more: null};
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
                const n = node.children.length;
                const cost = Math.min(n, PAGE) + (n > PAGE ? 1 : 0);
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

    function moreNode(node, view) {
        if (!view.more) {
            view.more = new More(node);
        }
        view.more.name = "+ " + formatCount(node.children.length - view.shown) + " more";
        return view.more;
    }

    function drawnChildren(node) {
        const view = views.get(node);
        if (view === undefined || !view.open || !hasChildren(node)) {
            return null;
        }
        const kids = node.children;
        if (view.shown >= kids.length) {
            return kids;
        }
        const list = kids.slice(0, view.shown);
        list.push(moreNode(node, view));
        return list;
    }

    function nodeClass(d) {
        const data = d.data;
        if (data instanceof More) {
            return "node more";
        }
        if (!hasChildren(data)) {
            return "node leaf";
        }
        return isOpen(data) ? "node open" : "node closed";
    }

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
                g.append("title");
                g.append("circle").attr("r", 4.5);
                const text = g.append("text").attr("x", 8).attr("dy", "0.32em");
                text.append("tspan").attr("class", "name");
                text.append("tspan").attr("class", "count");
                g.on("click", (event, d) => {
                    event.stopPropagation();
                    toggle(d.data);
                });
                return g;
            })
            .attr("class", nodeClass)
            .attr("transform", (d) => "translate(" + d.y + "," + d.x + ")")
            .each(function (d) {
                const data = d.data;
                const g = d3.select(this);
                const more = data instanceof More;
                const closed = !more && !isOpen(data) && hasChildren(data);
                g.select("title").text(data.name);
                g.select("tspan.name").text(more ? data.name : shortName(data.name));
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
        requestAnimationFrame(() => setTimeout(() => {
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

    // Fits the first picture into the window, within readable scales; what
    // does not fit stays centred on the root.
    function fitView() {
        const width = svg.node().clientWidth || window.innerWidth || 800;
        const height = svg.node().clientHeight || window.innerHeight || 600;
        let top = 0;
        let bottom = 0;
        let right = 0;
        nodeLayer.selectAll("g").each((d) => {
            top = Math.min(top, d.x);
            bottom = Math.max(bottom, d.x);
            right = Math.max(right, d.y);
        });
        const margin = 40;
        const spanX = bottom - top + ROW;
        const spanY = right + COLUMN;
        const k = Math.max(0.75, Math.min(1, (height - margin) / spanX, (width - margin) / spanY));
        const middle = k * spanX <= height - margin ? (top + bottom) / 2 : 0;
        svg.call(zoom.transform, d3.zoomIdentity.translate(margin, height / 2 - k * middle).scale(k));
    }

    window.initialLoad = function (text) {
        hooks.calledAt = Date.now();
        hooks.received = text;
        hooks.calls += 1;
        setUp();
        clearPicture();
        if (typeof text !== "string" || text.length === 0) {
            showMessage("No process tree to show yet: import a log, then press Tree.");
            return;
        }
        let parsed;
        const parseStart = performance.now();
        try {
            parsed = JSON.parse(text);
        } catch (e) {
            showMessage(e instanceof RangeError ? "This process tree is too deep to be read."
                                                : "This process tree could not be read.");
            return;
        }
        hooks.parseMs = performance.now() - parseStart;
        const top = Array.isArray(parsed) && parsed.length === 1 ? parsed[0] : parsed;
        const prepareStart = performance.now();
        const total = prepare(top);
        hooks.prepareMs = performance.now() - prepareStart;
        if (total < 0) {
            showMessage("This is not a process tree.");
            return;
        }
        hooks.total = total;
        root = top;
        openAtStart(root);
        hideMessage();
        render(null);
        fitView();
    };

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
    hooks.click = function (id) {
        const g = nodeLayer.selectAll("g").filter((d) => d.data.__id === id).node();
        if (!g) {
            return false;
        }
        g.dispatchEvent(new MouseEvent("click", {bubbles: true, cancelable: true}));
        return true;
    };
})();
