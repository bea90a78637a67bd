#pragma once

// Which grades of entries a proofreading run applies.
enum class ProofreadMode { Quick, Fine, Professional };
