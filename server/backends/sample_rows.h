// The demo data's rows, the same on both backends: each a VALUES list that
// follows "INSERT INTO table VALUES" and ends the statement.
#pragma once

namespace dorvd {

constexpr const char* kSampleCustomerRows = R"sql(
    (1, 'Müller GmbH', 'München', 'DE', '1994-03-15'),
    (2, 'Søren Nielsen', 'København', 'DK', '1996-11-02'),
    (3, 'Françoise Lefèvre', 'Besançon', 'FR', '1995-07-21'),
    (4, 'José Núñez', 'Málaga', 'ES', '1997-01-30'),
    (5, 'Åsa Ångström', 'Göteborg', 'SE', NULL),
    (6, 'Hewlett Brothers', 'Palo Alto', 'US', '1993-09-09');
)sql";

constexpr const char* kSampleProductRows = R"sql(
    (1, 'Crème brûlée', 4.5, 120),
    (2, 'Käsekuchen', 3.25, 80),
    (3, 'Smørrebrød', 6.9, 45),
    (4, 'Paella', 12.75, 30),
    (5, 'Kaffee', 2.2, 500);
)sql";

constexpr const char* kSampleOrderRows = R"sql(
    (1, 1, 2, 10, 32.5, '1996-03-01 12:00:00', '1996-03-04'),
    (2, 2, 3, 4, 27.6, '1996-05-17 09:30:15', '1996-05-20'),
    (3, 3, 1, 12, 54.0, '1996-06-02 16:45:00', NULL),
    (4, 1, 5, 100, 220.0, '1996-07-11 08:05:03', '1996-07-12'),
    (5, 4, 4, 2, 25.5, '1996-08-23 19:20:00', '1996-08-26'),
    (6, 5, 2, 6, 19.5, '1996-12-08 09:05:03', NULL);
)sql";

constexpr const char* kSecretSalaryRows = R"sql(
    ('Jürgen Groß', 5400.0, '1996-12-31'),
    ('Hélène Dubois', 6100.5, '1996-12-31'),
    ('Bjørn Åberg', 4980.0, '1996-12-31');
)sql";

} // namespace dorvd
