-- data.mdb: the projector code library and the microphone linkage table.
-- Every column holds text. VIDEO compares without regard to letter case
-- (hex codes are case-blind); the model compares exactly.
CREATE TABLE DATA (
    "投影机型号" TEXT,
    "波特率"     TEXT,
    "校验"       TEXT,
    VGA          TEXT,
    VIDEO        TEXT COLLATE NOCASE,
    "POWER ON"   TEXT,
    "POWER OFF"  TEXT
);
CREATE INDEX DATA_model ON DATA ("投影机型号");
CREATE INDEX DATA_video ON DATA (VIDEO);

CREATE TABLE htset (
    htnum  TEXT,
    tdnum  TEXT,
    qjnum  TEXT,
    bitnum TEXT,
    tyjnum TEXT
);
